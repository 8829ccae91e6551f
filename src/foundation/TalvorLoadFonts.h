#pragma once

#include <QFont>
#include <QString>

#include <optional>

namespace talvor::TalvorLoadFonts {

// Writes key+"Traits" ("Size: %3.3f Trait:%d Weight:%d") and key+"Name" (the family). With
// no font, writes nothing and logs.
void TalvorSaveFont(const QString& key, const std::optional<QFont>& aFont);

// Sets *fontSize to 10.0, then, when the text begins with "Size: ", to the number after it.
// True only when both the prefix and the number were read.
bool TalvorScanFontTraits(const QString& traits, float* fontSize);

// The font stored under the key: its size from the traits (the default size when absent or
// below 2), its name (else the default name, else "ComicSansMS"); an unknown name gives the
// title-bar font of that size; nullopt, with a log line, when there is none either.
// A null `defaultName` means no default name.
std::optional<QFont> TalvorLoadFont(const QString& key, float defaultSize,
                                    const QString& defaultName);
// The font a key with nothing stored loads as: the named one, else the title-bar font of that
// size, else the bare description. Resets use it so that they give what a fresh start shows.
QFont TalvorDefaultFont(float size, const QString& name);
std::optional<QFont> TalvorLoadCopyFont(const QString& key, float defaultSize,
                                        const QString& defaultName);

}  // namespace talvor::TalvorLoadFonts
