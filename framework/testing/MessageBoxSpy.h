// A test's stand-in for the user at message boxes: records every box and answers it.
#pragma once

#include "framework/MessageBox.h"

#include <vector>

class MessageBoxSpy {
public:
    explicit MessageBoxSpy(TModalResult answer = mrOk)
        : Answer(answer), Previous(SetMessageBoxHandler([this](const TMessageBoxRequest& r) {
              Requests.push_back(r);
              return Answer;
          })) {}
    ~MessageBoxSpy() { SetMessageBoxHandler(Previous); }
    MessageBoxSpy(const MessageBoxSpy&) = delete;
    MessageBoxSpy& operator=(const MessageBoxSpy&) = delete;

    TModalResult Answer;
    std::vector<TMessageBoxRequest> Requests;

private:
    TMessageBoxHandler Previous;
};
