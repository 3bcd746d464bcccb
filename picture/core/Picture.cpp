#include "Picture.h"

#include <QFile>

#include "Errors.h"
#include "FormatRegistry.h"
#include "NativeFiles.h"
#include "PathRules.h"

TPicture::TPicture() = default;
TPicture::~TPicture() = default;

void TPicture::LoadFile(const QString& path)
{
    const QString written = orvelle::ExtractFileExt(path).mid(1);
    const orvelle::FormatEntry* entry = orvelle::FormatRegistry::Instance().Find(written);
    if (!entry)
        throw EInvalidGraphic(orvelle::UnknownExtensionText(written));

    std::unique_ptr<TGraphic> graphic = entry->create();
    const std::unique_ptr<QFile> file = orvelle::OpenForReading(path);
    if (!file)
        orvelle::RaiseFileOpen(path);
    graphic->LoadFromStream(*file);
    graphic_ = std::move(graphic);
}

int TPicture::Width() const
{
    return graphic_ ? graphic_->Width() : 0;
}

int TPicture::Height() const
{
    return graphic_ ? graphic_->Height() : 0;
}
