#pragma once

#include "common/modmain.h"

class MainWindowHost;
class QWidget;

// Puts the current language's texts on the main window's controls, found by their control names.
// Running it twice gives the same captions as running it once.
void applyInterfaceTexts(QWidget &mainWindow, MainWindowHost &host, const modMain::State &state);

// Windows fonts carry a character set; Qt renders Unicode and needs none, so the value is kept on
// each control as this property for whoever needs the code page it stands for.
inline constexpr const char *FontCharsetProperty = "FontCharset";
void setFontCharset(QWidget &control, int charset);
