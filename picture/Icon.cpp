#include "Icon.h"

#include "Errors.h"

void TIcon::LoadFromStream(QIODevice&)
{
    throw EInvalidGraphic(QStringLiteral("アイコンイメージが不正です"));
}

void TIcon::Draw(TCanvas&, const TRect&) {}
