#pragma once

#include "common/modmain.h"

#include <QString>

class StringResources;

// Which languages the program speaks, which one is in use, and its interface texts.
namespace modLanguage {

// Windows font character set for an ANSI code page ("1250" -> 238); any other page gives 0.
int fontCharsetForCodePage(const QString &codePage);
// Windows language identifier for a resource language name ("SPANISH" -> 11274); else 0.
int languageIdentifier(const QString &name);
// English display name of the locale a Windows language identifier stands for, e.g.
// 11274 -> "Spanish (Argentina)". Empty for an identifier the table does not know.
QString languageDisplayName(int identifier);

// Start-up, in this order:
void chooseCharacterSet(modMain::State &state, const QString &ansiCodePage);
void buildLanguageList(modMain::State &state, const StringResources &resources);
// Only when no language is stored: the first row whose name begins the locale's language name.
void detectDefaultLanguage(modMain::State &state, const QString &localeLanguageName);
// The last row whose name contains LanguageName.
void findLanguageIndex(modMain::State &state);
// UiText for LanguageName / LanguageIndex, text by text falling back to English, then empty.
void loadInterfaceTexts(modMain::State &state, const StringResources &resources);

// The row whose display name is `displayName`, or -1.
int rowOfDisplayName(const modMain::State &state, const QString &displayName);

} // namespace modLanguage
