#pragma once
// Windows-1252 at the Qt boundary.
//
// Every text inside Tarvik (titles, status texts, dialog lines, clipboard) is
// a string of Windows-1252 bytes, because that is what the air, the files and
// the message texts carry. Qt speaks Unicode, so texts are converted exactly
// where they cross into or out of a widget. The conversion is a plain table:
// Qt's own converters do not offer this code page on every build.
//
// The five bytes that Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90,
// 0x9D) map to the C1 control characters of the same value, so that every
// byte string survives a round trip. Characters outside the code page become
// '?' on the way back, one per character (not per UTF-16 unit).

#include <QString>
#include <string>
#include <string_view>

namespace tarvik::ui {

QString fromCp1252(std::string_view bytes);
std::string toCp1252(const QString& text);

}  // namespace tarvik::ui
