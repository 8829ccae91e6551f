#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "crash/WRKBinaryImage.h"
#include "crash/WRKElfSymbols.h"
#include "crash/WRKJSON.h"
#include "crash/WRKStackFrame.h"

// Turns the return addresses of a crashed run into function names in a later run: each
// address is matched to an image of the crashed run by its image record, the image with the
// same build-id is found among those loaded now, and the address, moved into this process,
// is looked up in that image's symbol table. Images not loaded now stay unresolved.
namespace talvor::crash {

class WRKSymbolResolver {
  public:
    // The crashed run's "load" records that have a base and a size, by base. False when the
    // file gave no line (said in the log).
    bool loadBinaryImagesFromFile(const std::string& path);
    const std::vector<JSONValue>& binaryImages() const { return images_; }
    // The first record, by base, whose range holds `pc`.
    const JSONValue* loadedBinaryImageForPC(std::uint64_t pc) const;
    // The image loaded now with that build-id text.
    std::optional<WRKBinaryImageDetails> imageDetailsForUUID(const std::string& uuid);

    // A frame for the address when it resolves.
    std::optional<WRKStackFrame> frameForAddress(std::uint64_t address);
    // Fills in symbol, raw symbol and offset; false when the address lies in no known image,
    // that image is not loaded now or no symbol covers the address. Whenever the address
    // lies in a known image, its library and image offset are filled in all the same.
    bool updateStackFrame(WRKStackFrame& frame);

  private:
    struct Found {
        std::optional<std::string> name;
        std::uint64_t start = 0;  // in this process
    };
    std::optional<Found> symbolFor(std::uint64_t address, const WRKBinaryImageDetails& image);

    std::vector<JSONValue> images_;
    std::map<std::string, std::optional<WRKBinaryImageDetails>> loaded_;
    std::map<std::string, std::shared_ptr<const std::optional<WRKElfSymbolTable>>> tables_;
};

}  // namespace talvor::crash
