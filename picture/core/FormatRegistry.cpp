#include "FormatRegistry.h"

#include "Bitmap.h"
#include "Icon.h"
#include "JPEGImage.h"
#include "Metafile.h"

namespace orvelle {

namespace {

template <class Kind> std::unique_ptr<TGraphic> Make()
{
    return std::make_unique<Kind>();
}

} // namespace

FormatRegistry::FormatRegistry()
    : entries_{
          {QStringLiteral("wmf"), QStringLiteral("メタファイル"), &Make<TMetafile>},
          {QStringLiteral("emf"), QStringLiteral("エンハンス メタファイル"), &Make<TMetafile>},
          {QStringLiteral("ico"), QStringLiteral("アイコン"), &Make<TIcon>},
          {QStringLiteral("bmp"), QStringLiteral("ビットマップ"), &Make<TBitmap>},
          {QStringLiteral("jpeg"), QStringLiteral("JPEG イメージファイル"), &Make<TJPEGImage>},
          {QStringLiteral("jpg"), QStringLiteral("JPEG イメージファイル"), &Make<TJPEGImage>},
      }
{
}

const FormatRegistry& FormatRegistry::Instance()
{
    static const FormatRegistry registry;
    return registry;
}

const FormatEntry* FormatRegistry::Find(const QString& extension) const
{
    const QString wanted = extension.toLower();
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
        if (it->extension == wanted)
            return &*it;
    }
    return nullptr;
}

} // namespace orvelle
