#pragma once
// The 8-bit text of labels and ASCII values to and from Qt's strings, through
// the program's one code page (TextCodec: Windows-1252 unless set).

#include <QString>
#include <string>
#include <string_view>

#include "platform/TextCodec.h"

inline QString FromAnsi(std::string_view bytes) {
    return QString::fromStdU16String(TextCodec::WidenAnsi(bytes));
}

inline std::string ToAnsi(const QString& text) {
    return TextCodec::NarrowAnsi(text.toStdU16String());
}
