#pragma once
// Fonts of controls and drawing.
//
// A font is described, not owned: family, style bits and point size. The
// backend finds the nearest real font. Forms remember the operator's list
// font in their position files, so a description can be written as one
// storable text line and read back ("helvetica,0,10").

#include <optional>
#include <string>
#include <string_view>

#include "ui/toolkit/event.h"

namespace tarvik::ui {

enum FontStyle : unsigned {
  kFontPlain = 0,
  kFontBold = 1,
  kFontItalic = 2,
  kFontUnderline = 4,
};

struct FontSpec {
  std::string family = "helvetica";  // the form default: helvetica, plain, 10
  unsigned style = kFontPlain;
  int size = 10;                     // points

  bool operator==(const FontSpec&) const = default;

  // "family,style,size"; a family never contains ',' or a line end (they
  // are dropped), so the text fits one line of a position file.
  std::string serialize() const;
  // Reads what serialize() wrote; nullopt for anything else.
  static std::optional<FontSpec> deserialize(std::string_view text);
};

// Pixel metrics of a font. Line height = ascent + descent + leading.
struct FontMetrics {
  int ascent = 0;
  int descent = 0;
  int leading = 0;
  int charWidth = 0;  // average character width
  int lineHeight() const { return ascent + descent + leading; }
};

// The record of a Font event: the operator chose a new font.
struct FontRecord : Payload {
  explicit FontRecord(FontSpec f) : font(std::move(f)) {}
  FontSpec font;
};

}  // namespace tarvik::ui
