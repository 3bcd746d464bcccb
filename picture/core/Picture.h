#pragma once

#include <memory>

#include <QString>

#include "Graphic.h"

// Holds at most one graphic, chosen by a file's extension when loaded.
class TPicture {
public:
    TPicture();
    ~TPicture();
    TPicture(const TPicture&) = delete;
    TPicture& operator=(const TPicture&) = delete;

    // Loads the file as the kind its extension names. On failure the error
    // passes on and the picture keeps the graphic it had.
    void LoadFile(const QString& path);

    TGraphic* Graphic() const noexcept { return graphic_.get(); }
    // The graphic's size; 0 without one.
    int Width() const;
    int Height() const;

private:
    std::unique_ptr<TGraphic> graphic_;
};
