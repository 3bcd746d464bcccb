#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include <QByteArrayView>
#include <QString>

// What the fuzz targets do with their bytes, in one place, so that the
// regression test replays every saved finding through exactly the code the
// fuzzer ran. Each function returns normally or throws one of the layer's
// own errors (orvelle::Exception), which is how a damaged file is meant to
// end; anything else escaping, a crash or a sanitizer report is a finding.
namespace orvelle::fuzz {

// A picture loaded from the bytes as the program loads a file with this
// extension (the format registry's kind for it), then drawn as the fuzzy
// check draws it, into a work bitmap at its own size (each side capped at
// kOwnSizeCap), into a 64 × 64 work bitmap, and as the results window's
// preview paints it, fitted into a 64 × 64 box and at its own size.
void LoadAndDrawPicture(const QString& extension, QByteArrayView bytes);

// The largest side of the own-size draw. Past it a draw costs only time: the
// canvas code is the same, and claimed sizes are kept in check by the
// picture layer, not here.
inline constexpr int kOwnSizeCap = 1024;

// The bytes as the settings file: read as the main window reads it, the
// settings it keeps written back as it writes them, and read once more,
// where every value written must come back.
void ReadSettingsFile(QByteArrayView bytes);

// The bytes as the extension-list file: read, then every pattern put to the
// uses the folder scan and the file dialog make of it.
void ReadExtensionListFile(QByteArrayView bytes);

// One fuzz target: its name (the end of the fuzz program's name, and the
// folder of its starting inputs and regression files under tests/fuzz/) and what it
// does with one input.
struct Target {
    std::string_view name;
    void (*run)(QByteArrayView bytes);
};

std::span<const Target> Targets();
// Null for a name that is not one of Targets().
const Target* FindTarget(std::string_view name);

// Makes the offscreen QGuiApplication the drawing of metafile text needs,
// unless the program already has an application object.
void EnsureGuiApplication();

// The body of a fuzz program's LLVMFuzzerTestOneInput: runs the target on
// one input, taking the layer's own errors as the end of a damaged input.
int RunOneInput(std::string_view target, const std::uint8_t* data, std::size_t size);

} // namespace orvelle::fuzz
