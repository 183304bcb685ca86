// The library's numbered texts in five languages plus a column the application fills, and the lookup that
// puts arguments into their "%S1".."%S3" placeholders.
#pragma once

#include <QString>
#include <array>
#include <cstdint>

struct TPGLangStrEntry {
    uint8_t Id;           // equals the entry's own number; checked at start-up
    const char* Texts[5]; // English, German, French, Dutch, Spanish (UTF-8)
    QString UserText;     // the application's own text for PGLanguage = 5
};

constexpr int PGLangStrCount = 85;
extern std::array<TPGLangStrEntry, PGLangStrCount> PGLangStrEntries;

// 0 English, 1 German, 2 French, 3 Dutch, 4 Spanish, 5 UserText. Set at start-up, read by workers unlocked.
extern uint8_t PGLanguage;

// Text := the entry's text in the selected column; an unknown selector leaves Text as it was.
void GetPGLangStr(uint8_t Index, QString& Text);
void GetPGLangStr1(uint8_t Index, const QString& S1, QString& Text);
void GetPGLangStr2(uint8_t Index, const QString& S1, const QString& S2, QString& Text);
void GetPGLangStr3(uint8_t Index, const QString& S1, const QString& S2, const QString& S3, QString& Text);

// The same lookups returning the text, for building exception messages.
QString PGLangStr(uint8_t Index);
QString PGLangStr(uint8_t Index, const QString& S1);
QString PGLangStr(uint8_t Index, const QString& S1, const QString& S2);
QString PGLangStr(uint8_t Index, const QString& S1, const QString& S2, const QString& S3);

// Puts every UserText back to its value as shipped (entry 25 keeps "Image files"); the last library shutdown
// calls it.
void ReleasePGUserTexts();

// Raises EPixelGraphic at the first entry whose Id differs from its number.
void CheckPGLangStrEntries();
