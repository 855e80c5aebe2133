#pragma once

#include "cfg/cfgrules.h"

#include <QByteArray>
#include <QStringList>

// The path of documents.cpp from a file's bytes to the editor, for the configuration and the
// new-graphics list alike, with the promise of each step checked on the way.
namespace readerCheck {

using LinesOf = QStringList (*)(const QStringList &);
using KindOf = cfgRules::LineKind (*)(QStringView);

struct Reading {
    QStringList split; // cfgRules::splitLines of the decoded text
    QStringList lines; // what the editor was given
};

// Decodes as code page 1252, splits, keeps the lines `linesOf` keeps and puts them into an editor
// coloured by `kindOf`; aborts when a step breaks its promise.
Reading read(const QByteArray &bytes, LinesOf linesOf, KindOf kindOf);

// Empty or spaces only: the one blank character of the trimming rules (a tab is text).
bool isBlankLine(const QString &line);

// Every line of `kept` is a non-blank line of `split` without its outer blanks, in order, and
// every non-blank line of `split` is there.
void checkNonBlankLinesKept(const QStringList &split, const QStringList &kept);

} // namespace readerCheck
