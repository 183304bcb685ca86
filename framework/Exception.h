// The root of every exception the system raises: a user-readable message and the name of the class.
#pragma once

#include <QString>
#include <exception>
#include <string>

class Exception : public std::exception {
public:
    explicit Exception(const QString& message) : Message(message), Utf8(message.toStdString()) {}

    const QString& message() const noexcept { return Message; }
    const char* what() const noexcept override { return Utf8.c_str(); }
    virtual const char* className() const noexcept { return "Exception"; }

private:
    QString Message;
    std::string Utf8; // what() must hand out a pointer that lives as long as the exception
};

// Declares an exception class that only differs from its base by its name.
#define LAB_DECLARE_EXCEPTION(Name, Base)                                                                    \
    class Name : public Base {                                                                               \
    public:                                                                                                  \
        using Base::Base;                                                                                    \
        const char* className() const noexcept override { return #Name; }                                    \
    }
