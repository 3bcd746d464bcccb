#include "Metafile.h"

#include "Errors.h"

void TMetafile::LoadFromStream(QIODevice&)
{
    throw EInvalidGraphic(QStringLiteral("メタファイルが不正です"));
}

void TMetafile::Draw(TCanvas&, const TRect&) {}
