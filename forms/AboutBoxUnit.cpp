#include "AboutBoxUnit.h"

#include <QColor>
#include <QDesktopServices>
#include <QEvent>
#include <QFont>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>
#include <QShowEvent>
#include <QUrl>

#include "EventRules.h"
#include "HandlerGuard.h"
#include "ToolPictures.h"
#include "WindowPlacement.h"
#include "ui_AboutBoxUnit.h"

namespace {

QFont FaceAt(const QString& family, int pixelSize, bool bold)
{
    QFont font(family);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

void Style(QLabel* label, const QFont& font, const QColor& colour)
{
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

} // namespace

TAboutBox::TAboutBox(orvelle::UserPrompts& prompts, QWidget* parent)
    : QDialog(parent, orvelle::kFixedDialogFrame), ui(std::make_unique<Ui::TAboutBox>()),
      prompts_(prompts)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_QuitOnClose, false);
    const QString gothic = QStringLiteral("ＭＳ Ｐゴシック");
    setFont(FaceAt(gothic, 12, false));
    setFixedSize(390, 105);

    Style(ui->ProductName, FaceAt(QStringLiteral("ＭＳ 明朝"), 24, true), QColor(0x00, 0x00, 0x80));
    Style(ui->Version, FaceAt(gothic, 16, true), QColor(0x80, 0x00, 0x00));
    Style(ui->RightsLabel, FaceAt(gothic, 15, true), QColor(0x00, 0x80, 0x00));
    Style(ui->Comments, FaceAt(gothic, 12, false), QColor(0x00, 0x00, 0xFF));
    ui->ProductName->setFixedSize(ui->ProductName->size());
    ui->RightsLabel->setFixedSize(ui->RightsLabel->size());

    ui->Comments->setText(HomePage());
    ui->Comments->setCursor(Qt::PointingHandCursor);
    ui->Comments->installEventFilter(this);

    ui->ProgramIcon->setPixmap(orvelle::ProgramIconPixmap(32));
    // The icon sits over the left end of the product name.
    ui->ProgramIcon->raise();

    connect(ui->OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

TAboutBox::~TAboutBox() = default;

QString TAboutBox::HomePage()
{
    return QStringLiteral("https://orvelle.example.org/");
}

void TAboutBox::CommentsClick()
{
    orvelle::Guarded(prompts_, this, [this] {
        QDesktopServices::openUrl(QUrl(HomePage()));
        reject();
    });
}

void TAboutBox::keyPressEvent(QKeyEvent* event)
{
    // The box closes by OK, Enter, its close button or the link only.
    if (!orvelle::TakeEscape(event))
        QDialog::keyPressEvent(event);
}

bool TAboutBox::eventFilter(QObject* watched, QEvent* event)
{
    // A click is a left-button release over the link, as with a button.
    if (watched == ui->Comments && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton &&
            ui->Comments->rect().contains(mouse->position().toPoint())) {
            CommentsClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TAboutBox::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    orvelle::CentreOnScreen(*this);
}
