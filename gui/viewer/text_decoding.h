#pragma once
// The characters of a text file whose encoding nobody recorded: UTF-8 when
// every byte sequence is valid UTF-8, otherwise the old Western code page
// (Windows-1252), in which every byte is a character. Pages saved in that
// code page show é, ’ and € as themselves instead of replacement marks.

#include <QByteArray>
#include <QString>

QString decodeText(const QByteArray &bytes);

// The characters of a text whose encoding its maker recorded (a WHATWG
// name such as "UTF-8", "windows-1252" or "koi8-r"): invalid sequences
// become replacement marks. An empty or unknown name: decodeText(bytes).
QString decodeText(const QByteArray &bytes, const QString &encoding);
