#include "CompUnit.h"

#include <QAction>
#include <QEvent>
#include <QFileDialog>
#include <QFont>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QShowEvent>
#include <QStringList>
#include <QStyleOptionViewItem>
#include <QToolTip>
#include <QTreeWidgetItem>

#include "ApplicationHints.h"
#include "Fonts.h"
#include "HandlerGuard.h"
#include "PaintBox.h"
#include "ToolPictures.h"
#include "WindowPlacement.h"
#include "ui_CompUnit.h"

namespace {

// The tree and the details pane start equally wide; the splitter's handle
// lies between them.
constexpr int kTreeWidth = 398;
constexpr int kPanelWidth = 398;

// The details are shown in a fixed-pitch face so that the values after the
// labels line up.
QFont MemoFont()
{
    QFont font(QStringLiteral("ＭＳ ゴシック"));
    font.setPixelSize(13);
    font.setFixedPitch(true);
    font.setStyleHint(QFont::Monospace);
    return font;
}

// The labels of the five detail lines, each eight half-width columns wide.
QString BareDetails()
{
    return QStringList{QStringLiteral("ﾌｧｲﾙ名："), QStringLiteral("サイズ："),
                       QStringLiteral("日　時："), QStringLiteral("画像幅："),
                       QStringLiteral("画像高：")}
        .join(u'\n');
}

bool IsRightButtonEvent(const QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
        return static_cast<const QMouseEvent*>(event)->button() == Qt::RightButton;
    default:
        return false;
    }
}

} // namespace

TCompForm::TCompForm(orvelle::UserPrompts& prompts, QWidget* owner)
    : QDialog(owner, Qt::Window), ui(std::make_unique<Ui::TCompForm>()), prompts_(prompts),
      popupMenu1_(new QMenu(this)), saveDialog1_(new QFileDialog(this))
{
    ui->setupUi(this);
    setAttribute(Qt::WA_QuitOnClose, false);
    setFont(orvelle::FormFont());
    setWindowIcon(orvelle::ProgramIcon());
    resize(kTreeWidth + ui->Splitter1->handleWidth() + kPanelWidth, 600);

    // Only the details pane grows with the window; the tree keeps its width
    // until the splitter is dragged.
    ui->Splitter1->setStretchFactor(0, 0);
    ui->Splitter1->setStretchFactor(1, 1);
    ui->Splitter1->setSizes({kTreeWidth, kPanelWidth});

    // A path wider than the tree is not shortened: the tree scrolls
    // sideways, and the tooltip shows the whole path.
    QTreeWidget* tree = ui->TreeView1;
    tree->header()->setStretchLastSection(false);
    tree->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    tree->viewport()->installEventFilter(this);
    tree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(tree, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        popupMenu1_->popup(ui->TreeView1->viewport()->mapToGlobal(pos));
    });
    connect(tree, &QTreeWidget::itemClicked, this, [this] { TreeView1Click(); });

    ui->Memo1->setFont(MemoFont());
    // Read-only, but the caret still moves and selects as in any text.
    ui->Memo1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    ui->Memo1->setPlainText(BareDetails());
    // The five lines fit the memo's height; only a long line needs a scroll
    // bar, and a vertical one would narrow the lines for nothing.
    ui->Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    // The paint box is transparent: whatever the preview leaves unpainted
    // shows the scroll box behind it. QScrollArea makes its widget opaque.
    ui->PaintBox1->setAutoFillBackground(false);
    ui->PaintBox1->OnPaint([this] { PaintBox1Paint(); });
    ui->PaintBox1->OnDoubleClick([this] { PaintBox1DblClick(); });
    // This window shows no tooltips; the hint still reaches the
    // application's hint line.
    ui->PaintBox1->setStatusTip(QStringLiteral("ダブルクリックで表示状態変更"));

    popupMenu1_->setObjectName(QStringLiteral("PopupMenu1"));
    popupMenu1_->addAction(ui->Delete1);
    popupMenu1_->addAction(ui->SaveAs1);
    popupMenu1_->addSeparator()->setObjectName(QStringLiteral("N1"));
    popupMenu1_->addAction(ui->Close1);
    orvelle::ApplyHint(ui->Delete1, QStringLiteral("選択している画像を削除"));
    connect(ui->Delete1, &QAction::triggered, this, [this] { Delete1Click(); });
    connect(ui->SaveAs1, &QAction::triggered, this, [this] { SaveAs1Click(); });
    connect(ui->Close1, &QAction::triggered, this, [this] { Close1Click(); });

    saveDialog1_->setObjectName(QStringLiteral("SaveDialog1"));
    saveDialog1_->setAcceptMode(QFileDialog::AcceptSave);
    // A copy replaces an existing file of the chosen name without a question.
    saveDialog1_->setOption(QFileDialog::DontConfirmOverwrite);

    FormCreate();
}

TCompForm::~TCompForm()
{
    FormDestroy();
}

QTreeWidget* TCompForm::TreeView1() const
{
    return ui->TreeView1;
}

QPlainTextEdit* TCompForm::Memo1() const
{
    return ui->Memo1;
}

QScrollArea* TCompForm::ScrollBox1() const
{
    return ui->ScrollBox1;
}

QWidget* TCompForm::PaintBox1() const
{
    return ui->PaintBox1;
}

QMenu* TCompForm::PopupMenu1() const
{
    return popupMenu1_;
}

QStatusBar* TCompForm::StatusBar1() const
{
    return ui->StatusBar1;
}

void TCompForm::FormCreate()
{
    orvelle::Guarded(prompts_, this, [] {});
}

void TCompForm::FormDestroy()
{
    orvelle::Guarded(prompts_, this, [] {});
}

void TCompForm::TreeView1Click()
{
    orvelle::Guarded(prompts_, this, [] {});
}

void TCompForm::PaintBox1Paint()
{
    orvelle::Guarded(prompts_, this, [] {});
}

void TCompForm::PaintBox1DblClick()
{
    orvelle::Guarded(prompts_, this, [] {});
}

void TCompForm::Delete1Click()
{
    orvelle::Guarded(prompts_, this, [] {});
}

void TCompForm::SaveAs1Click()
{
    orvelle::Guarded(prompts_, this, [] {});
}

void TCompForm::Close1Click()
{
    orvelle::Guarded(prompts_, this, [] {});
}

bool TCompForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != ui->TreeView1->viewport())
        return QDialog::eventFilter(watched, event);
    if (event->type() == QEvent::ToolTip) {
        ShowCutOffNodeText(*static_cast<QHelpEvent*>(event));
        return true;
    }
    // The commands act on the node selected before the menu opened, so the
    // right button must not select; the context menu still comes.
    if (IsRightButtonEvent(event))
        return true;
    return QDialog::eventFilter(watched, event);
}

void TCompForm::ShowCutOffNodeText(const QHelpEvent& help)
{
    QTreeWidget* tree = ui->TreeView1;
    QWidget* viewport = tree->viewport();
    QTreeWidgetItem* item = tree->itemAt(help.pos());
    if (!item) {
        QToolTip::hideText();
        return;
    }
    // How wide the node would be drawn whole, against what the tree shows.
    const QModelIndex index = tree->indexFromItem(item);
    const QRect place = tree->visualItemRect(item);
    QStyleOptionViewItem option;
    option.initFrom(viewport);
    option.font = tree->font();
    option.fontMetrics = tree->fontMetrics();
    const int wholeWidth = tree->itemDelegateForIndex(index)->sizeHint(option, index).width();
    const bool cutOff = place.left() < 0 || place.left() + wholeWidth > viewport->width();
    if (!cutOff) {
        QToolTip::hideText();
        return;
    }
    QToolTip::showText(help.globalPos(), item->text(0), viewport, place);
}

void TCompForm::keyPressEvent(QKeyEvent* event)
{
    // Only the close box, Alt+F4 and Close1 end the showing; Esc is no
    // answer here, as there is no question.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TCompForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    orvelle::CentreOnScreen(*this);
}
