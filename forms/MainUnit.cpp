#include "MainUnit.h"

#include <exception>

#include <QApplication>
#include <QCloseEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QScopeGuard>
#include <QSessionManager>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include "AboutBoxUnit.h"
#include "ApplicationHints.h"
#include "BackgroundWork.h"
#include "CheckDefaults.h"
#include "CheckOptionUnit.h"
#include "CheckSession.h"
#include "CompUnit.h"
#include "EventRules.h"
#include "ExtensionListFile.h"
#include "FileListRules.h"
#include "FixedRowDelegate.h"
#include "FolderScan.h"
#include "Fonts.h"
#include "HandlerGuard.h"
#include "IniFile.h"
#include "IntegerText.h"
#include "ModalResult.h"
#include "NativeFiles.h"
#include "NativePath.h"
#include "PathRules.h"
#include "ProgressUnit.h"
#include "RealNameFileDialog.h"
#include "ResultsTree.h"
#include "ToolPictures.h"
#include "UserPrompts.h"
#include "WaitCursor.h"
#include "ui_MainUnit.h"

namespace {

constexpr int kItemHeight = 12;
constexpr int kCountPanelWidth = 117;

const char* const kExtListSection = "ExtList";
const char* const kWindowSection = "Window";
const char* const kOptionSection = "Option";

// Where an entry's real path is kept when its text only shows it.
constexpr int kPathRole = Qt::UserRole;

QString NoFilesText()
{
    return QStringLiteral("リスト内にファイルがありませんが...┐(´～`；)┌");
}

// Paths from Qt's dialogs and drops use "/"; the list shows the platform's form.
QStringList NativePaths(const QStringList& paths)
{
    QStringList native;
    native.reserve(paths.size());
    for (const QString& p : paths)
        native << orvelle::ToNativeSeparators(p);
    return native;
}

} // namespace

TMainForm::TMainForm(orvelle::UserPrompts& prompts, QString settingsBase, QWidget* parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::TMainForm>()), prompts_(prompts),
      settingsBase_(std::move(settingsBase))
{
    ui->setupUi(this);
    setFont(orvelle::FormFont());
    setWindowIcon(orvelle::ProgramIcon());

    ui->ListBox1->setItemDelegate(new orvelle::FixedRowDelegate(kItemHeight, ui->ListBox1));
    ui->ListBox1->setUniformItemSizes(true);
    ui->CheckListBox1->setItemDelegate(
        new orvelle::FixedRowDelegate(kItemHeight, ui->CheckListBox1));

    openDialog1_ = new orvelle::RealNameFileDialog(this);
    openDialog1_->setObjectName(QStringLiteral("OpenDialog1"));
    openDialog1_->setFileMode(QFileDialog::ExistingFiles);
    openDialog1_->setAcceptMode(QFileDialog::AcceptOpen);
    openDialog1_->setSizeGripEnabled(true);

    BuildStatusPanels();
    BuildPopupMenu();
    NameSeparators();
    ApplyHintsAndPictures();
    ConnectCommands();
    SetExtensionPatterns(orvelle::DefaultExtensionPatterns());
    SetClientSize(600, 400);

    connect(qApp, &QGuiApplication::commitDataRequest, this, &TMainForm::CommitSessionData);

    FormCreate();
}

TMainForm::~TMainForm()
{
    qApp->removeEventFilter(this);
    orvelle::Guarded(prompts_, this, [this] { FormDestroy(); });
}

void TMainForm::AttachDialogs(TProgressDlg* progress, TCheckOptionDlg* options)
{
    progressDlg_ = progress;
    checkOptionDlg_ = options;
}

void TMainForm::BuildStatusPanels()
{
    statusPanel0_ = new QLabel(orvelle::CountText(0));
    statusPanel0_->setObjectName(QStringLiteral("StatusBar1Panel0"));
    statusPanel0_->setFixedWidth(kCountPanelWidth);
    statusPanel1_ = new QLabel;
    statusPanel1_->setObjectName(QStringLiteral("StatusBar1Panel1"));
    for (QLabel* panel : {statusPanel0_, statusPanel1_})
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    ui->StatusBar1->addWidget(statusPanel0_);
    ui->StatusBar1->addWidget(statusPanel1_, 1);
}

void TMainForm::BuildPopupMenu()
{
    popupMenu1_ = new QMenu(this);
    popupMenu1_->setObjectName(QStringLiteral("PopupMenu1"));
    popupMenu1_->addAction(ui->pAddFiles);
    popupMenu1_->addAction(ui->pAddFolder);
    popupMenu1_->addSeparator()->setObjectName(QStringLiteral("N4"));
    popupMenu1_->addAction(ui->pDeleteFile);
    popupMenu1_->addAction(ui->pClear);
    popupMenu1_->addSeparator()->setObjectName(QStringLiteral("N5"));
    popupMenu1_->addAction(ui->pCheck);
    // The right button leaves the selection as it was, as in the results
    // tree: 除外 removes what the user had selected.
    ui->ListBox1->viewport()->installEventFilter(this);
    connect(ui->ListBox1, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        popupMenu1_->popup(ui->ListBox1->viewport()->mapToGlobal(pos));
    });
}

void TMainForm::NameSeparators()
{
    int number = 1;
    for (QAction* item : ui->mMenu->actions()) {
        if (item->isSeparator())
            item->setObjectName(QStringLiteral("N%1").arg(number++));
    }
}

void TMainForm::ApplyHintsAndPictures()
{
    using orvelle::ToolPicture;
    struct Button {
        QToolButton* button;
        ToolPicture picture;
        const char* hint;
    };
    const Button buttons[] = {
        {ui->bAddFiles, ToolPicture::AddFiles, "ファイル追加|ファイルをリストへ追加する"},
        {ui->bAddFolder, ToolPicture::AddFolder, "フォルダ追加|ファイルをフォルダ単位で追加する"},
        {ui->bDeleteFile, ToolPicture::DeleteFile, "除外|選択されたリストのファイルを除外する"},
        {ui->bClear, ToolPicture::Clear, "クリア|リスト内のすべてのファイルを除外する"},
        {ui->bCheck, ToolPicture::Check,
         "重複チェック|リスト内のすべてのファイルの重複をチェックする"},
    };
    for (const Button& b : buttons) {
        b.button->setIcon(orvelle::ToolButtonIcon(b.picture));
        orvelle::ApplyHint(b.button, QString::fromUtf8(b.hint));
    }

    struct Item {
        QAction* action;
        const char* hint;
    };
    const Item items[] = {
        {ui->mAddFiles, "ファイル単位でリストに追加していきます"},
        {ui->mAddFolder, "フォルダ単位でリストにファイルを追加していきます"},
        {ui->mDeleteFile, "リスト内の選択されているファイルを除外します"},
        {ui->mClear, "リスト内のファイルをクリアします"},
        {ui->mCheck, "手動で重複画像をチェックします"},
        {ui->mExit, "アプリケーションを終了します"},
    };
    for (const Item& item : items)
        orvelle::ApplyHint(item.action, QString::fromUtf8(item.hint));
}

void TMainForm::Handle(void (TMainForm::*handler)())
{
    orvelle::Guarded(prompts_, this, [this, handler] { (this->*handler)(); });
}

void TMainForm::ConnectCommands()
{
    struct Command {
        std::initializer_list<QAction*> items;
        QToolButton* button;
        void (TMainForm::*handler)();
    };
    const Command commands[] = {
        {{ui->mAddFiles, ui->pAddFiles}, ui->bAddFiles, &TMainForm::mAddFilesClick},
        {{ui->mAddFolder, ui->pAddFolder}, ui->bAddFolder, &TMainForm::mAddFolderClick},
        {{ui->mDeleteFile, ui->pDeleteFile}, ui->bDeleteFile, &TMainForm::mDeleteFileClick},
        {{ui->mClear, ui->pClear}, ui->bClear, &TMainForm::mClearClick},
        {{ui->mCheck, ui->pCheck}, ui->bCheck, &TMainForm::mCheckClick},
        {{ui->mExit}, nullptr, &TMainForm::mExitClick},
        {{ui->mAbout}, nullptr, &TMainForm::mAboutClick},
    };
    for (const Command& c : commands) {
        const auto handler = c.handler;
        for (QAction* item : c.items)
            connect(item, &QAction::triggered, this, [this, handler] { Handle(handler); });
        if (c.button)
            connect(c.button, &QToolButton::clicked, this, [this, handler] { Handle(handler); });
    }
}

void TMainForm::SetClientSize(int width, int height)
{
    // The client area is what lies below the menu bar.
    resize(width, height + ui->MainMenu1->sizeHint().height());
}

// ---------------------------------------------------------------- creation

void TMainForm::FormCreate()
{
    setAcceptDrops(true);

    hints_ = std::make_unique<orvelle::ApplicationHints>();
    connect(hints_.get(), &orvelle::ApplicationHints::HintChanged, this,
            [this] { Handle(&TMainForm::ApplicationHint); });

    LoadSettings();
}

void TMainForm::LoadSettings()
{
    const orvelle::IniFile ini(orvelle::IniFileFor(settingsBase_));
    orvelle::Guarded(prompts_, this, [&] {
        const QString path = ini.ReadString(kExtListSection, QStringLiteral("Path"),
                                            orvelle::ExtensionListFileFor(settingsBase_));
        if (orvelle::IsExistingFile(path)) {
            extensionListUnread_ = true;
            SetExtensionPatterns(orvelle::ReadExtensionList(path));
            extensionListUnread_ = false;
        }
    });
    // The position and the tolerances are read even when the list was not.
    orvelle::Guarded(prompts_, this, [&] {
        const int top = ini.ReadInteger(kWindowSection, QStringLiteral("Top"), 0);
        const int left = ini.ReadInteger(kWindowSection, QStringLiteral("Left"), 0);
        move(left, top);
        Err_Count = ini.ReadInteger(kOptionSection, QStringLiteral("Err_Count"),
                                    orvelle::kDefaultErrCount);
        Err_Clr = ini.ReadInteger(kOptionSection, QStringLiteral("Err_Clr"),
                                  orvelle::kDefaultErrClr);
    });
    for (int i = 0; i < ui->CheckListBox1->count(); ++i)
        ui->CheckListBox1->item(i)->setCheckState(Qt::Checked);
}

void TMainForm::FormDestroy()
{
    SaveSettings();
}

void TMainForm::SaveSettings()
{
    orvelle::IniFile ini(orvelle::IniFileFor(settingsBase_));
    const QString path = ini.ReadString(kExtListSection, QStringLiteral("Path"),
                                        orvelle::ExtensionListFileFor(settingsBase_));
    // A list that cannot be written loses no other setting: the INI values
    // are written all the same, and the list's error comes afterwards (the
    // one shown where the INI file fails too).
    std::exception_ptr listFailure;
    if (!extensionListUnread_) {
        QStringList patterns;
        for (const orvelle::ExtensionItem& item : ExtensionList())
            patterns << item.pattern;
        try {
            orvelle::WriteExtensionList(path, patterns);
        } catch (...) {
            listFailure = std::current_exception();
        }
    }
    try {
        ini.WriteString(kExtListSection, QStringLiteral("Path"), path);
        const QPoint position = StoredPosition();
        ini.WriteInteger(kWindowSection, QStringLiteral("Top"), position.y());
        ini.WriteInteger(kWindowSection, QStringLiteral("Left"), position.x());
        ini.WriteInteger(kOptionSection, QStringLiteral("Err_Count"), Err_Count);
        ini.WriteInteger(kOptionSection, QStringLiteral("Err_Clr"), Err_Clr);
        ini.UpdateFile();
    } catch (...) {
        if (!listFailure)
            throw;
    }
    if (listFailure)
        std::rethrow_exception(listFailure);
}

QPoint TMainForm::StoredPosition() const
{
    // A minimised or maximised window is stored where it will be restored,
    // not at the place the platform parks it.
    if (isMinimized() || isMaximized()) {
        const QPoint frameOffset = geometry().topLeft() - frameGeometry().topLeft();
        return normalGeometry().topLeft() - frameOffset;
    }
    return pos();
}

// ----------------------------------------------------------------- closing

void TMainForm::FormCloseQuery(bool& CanClose)
{
    if (ui->ListBox1->count() == 0 || closeAgreed_ || sessionAgreed_)
        return;
    CanClose = prompts_.Confirm(this, QStringLiteral("本当に終了しますか？"));
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    // A failed question keeps the window open.
    bool canClose = false;
    orvelle::Guarded(prompts_, this, [&] {
        bool answer = true;
        FormCloseQuery(answer);
        canClose = answer;
    });
    if (canClose && runActive_) {
        // A running check ends first; the window closes once it has.
        closeAgreed_ = true;
        closeRequested_ = true;
        CancelFlag = true;
        scanCancel_ = true;
        canClose = false;
    }
    if (canClose)
        event->accept();
    else
        event->ignore();
}

void TMainForm::CommitSessionData(QSessionManager& manager)
{
    if (!manager.allowsInteraction())
        return;
    const bool agreed = AgreeToSessionEnd();
    manager.release();
    if (!agreed)
        manager.cancel();
}

bool TMainForm::AgreeToSessionEnd()
{
    // Each logout asks anew, whatever an earlier one was told.
    sessionAgreed_ = false;
    bool canClose = false;
    orvelle::Guarded(prompts_, this, [&] {
        bool answer = true;
        FormCloseQuery(answer);
        canClose = answer;
    });
    sessionAgreed_ = canClose;
    if (canClose)
        qApp->installEventFilter(this);
    return canClose;
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    // A click or a key anywhere in the program after the session's end was
    // agreed to: the logout was cancelled and the session goes on.
    if (sessionAgreed_ &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::KeyPress)) {
        sessionAgreed_ = false;
        qApp->removeEventFilter(this);
    }
    if (watched == ui->ListBox1->viewport() && orvelle::IsRightButtonEvent(event))
        return true;
    return QMainWindow::eventFilter(watched, event);
}

void TMainForm::mExitClick()
{
    close();
}

// ------------------------------------------------------------------- hints

void TMainForm::ApplicationHint()
{
    statusPanel1_->setText(hints_->Hint());
}

// --------------------------------------------------------------- file list

void TMainForm::AppendEntries(const QStringList& paths)
{
    // The list shows each path as Qt would; the few whose bytes are not
    // UTF-8 keep their real name beside the text. Added in one go, as a scan
    // may bring a million entries.
    QListWidget* list = ui->ListBox1;
    const int first = list->count();
    QStringList shown;
    shown.reserve(paths.size());
    for (const QString& p : paths)
        shown << orvelle::DisplayText(p);
    list->addItems(shown);
    for (qsizetype i = 0; i < paths.size(); ++i) {
        if (orvelle::HoldsRawBytes(paths.at(i)))
            list->item(first + int(i))->setData(kPathRole, paths.at(i));
    }
}

void TMainForm::RefreshCountText()
{
    statusPanel0_->setText(orvelle::CountText(ui->ListBox1->count()));
}

void TMainForm::mAddFilesClick()
{
    if (runActive_)
        return;
    if (ui->CheckListBox1->count() == 0)
        return;
    const QString patterns = orvelle::PatternText(ExtensionList());
    if (patterns.isEmpty())
        return;
    openDialog1_->setNameFilters(orvelle::ToQtNameFilters(orvelle::OpenDialogFilter(patterns)));
    if (!lastChosenFile_.isEmpty())
        openDialog1_->selectFile(orvelle::DisplayText(lastChosenFile_));
    // The hourglass is not shown over the dialog itself, only over the work.
    const QStringList chosen = NativePaths(prompts_.RunOpenDialog(*openDialog1_));
    {
        const orvelle::WaitCursor wait;
        if (!chosen.isEmpty()) {
            lastChosenFile_ = chosen.front();
            AppendEntries(chosen);
        }
    }
    RefreshCountText();
}

void TMainForm::mAddFolderClick()
{
    if (runActive_)
        return;
    if (ui->CheckListBox1->count() == 0)
        return;
    const QString folder = orvelle::ToNativeSeparators(
        prompts_.BrowseFolder(this, QStringLiteral("検索するフォルダを指定")));
    {
        const orvelle::WaitCursor wait;
        ScanFolder(folder);
    }
    RefreshCountText();
    if (closeRequested_)
        QTimer::singleShot(0, this, &QWidget::close);
}

void TMainForm::OpenPaths(const QStringList& paths)
{
    if (runActive_ || paths.isEmpty())
        return;
    {
        const orvelle::WaitCursor wait;
        for (const QString& path : paths) {
            if (closeRequested_)
                break;
            if (orvelle::IsFolder(path))
                ScanFolder(path);
            else
                AppendEntries({path});
        }
    }
    RefreshCountText();
    if (closeRequested_)
        QTimer::singleShot(0, this, &QWidget::close);
}

void TMainForm::ScanFolder(const QString& folder)
{
    // A large tree takes a while: it is walked on a worker thread while the
    // window repaints and refuses the commands that would change the list.
    runActive_ = true;
    scanCancel_ = false;
    const QScopeGuard done([this] { runActive_ = false; });
    const orvelle::ExtensionItems items = ExtensionList();
    const QStringList found =
        orvelle::RunInBackground([&] { return orvelle::ScanFolder(folder, items, &scanCancel_); });
    // A window closing meanwhile keeps its list as it was.
    if (!closeRequested_)
        AppendEntries(found);
}

bool TMainForm::ExtensionChecked(const QString& extension) const
{
    return orvelle::ExtensionChecked(ExtensionList(), extension);
}

void TMainForm::WMDropFiles(const QStringList& names)
{
    if (runActive_)
        return;
    AppendEntries(names);
    RefreshCountText();
}

void TMainForm::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TMainForm::dragMoveEvent(QDragMoveEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* event)
{
    // By the URL's own bytes: toLocalFile() would put U+FFFD for those of
    // a name that are not UTF-8.
    QStringList names;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            names << orvelle::PathFromFileUrl(url);
    }
    event->acceptProposedAction();
    orvelle::Guarded(prompts_, this, [&] { WMDropFiles(NativePaths(names)); });
}

void TMainForm::mDeleteFileClick()
{
    if (runActive_)
        return;
    QListWidget* list = ui->ListBox1;
    if (list->count() == 0 || list->selectedItems().isEmpty()) {
        prompts_.ShowMessage(
            this, QStringLiteral("リスト内にファイルがないか、選択されてませんが...┐(´～`；)┌"));
        return;
    }
    // From the end down, so the rows still to visit keep their numbers.
    for (int i = list->count() - 1; i >= 0; --i) {
        if (list->item(i)->isSelected())
            const std::unique_ptr<QListWidgetItem> removed(list->takeItem(i));
    }
    RefreshCountText();
}

void TMainForm::mClearClick()
{
    if (runActive_)
        return;
    if (ui->ListBox1->count() == 0) {
        prompts_.ShowMessage(this, NoFilesText());
        return;
    }
    if (prompts_.Confirm(this, QStringLiteral("リストをクリアしますか？")))
        ui->ListBox1->clear();
    RefreshCountText();
}

// ------------------------------------------------------------------- check

void TMainForm::mCheckClick()
{
    if (runActive_)
        return;
    if (ui->ListBox1->count() == 0) {
        prompts_.ShowMessage(this, NoFilesText());
        return;
    }
    if (!checkOptionDlg_)
        return;
    CancelFlag = true;
    checkOptionDlg_->Memo1()->setText(QString::number(Err_Count));
    checkOptionDlg_->Memo2()->setText(QString::number(Err_Clr));
    if (checkOptionDlg_->ShowModal() == orvelle::mrOK) {
        CancelFlag = false;
        ExactMode = checkOptionDlg_->RadioButton1()->isChecked();
        IgnoreSize = checkOptionDlg_->CheckBox1()->isChecked();
        Err_Count = orvelle::StrToIntDef(checkOptionDlg_->Memo1()->text(), 15);
        Err_Clr = orvelle::StrToIntDef(checkOptionDlg_->Memo2()->text(), 50);
    }
    if (CancelFlag)
        return;

    orvelle::CheckResult result;
    {
        // While the run goes on, the commands that would change the list or
        // start another run are refused.
        runActive_ = true;
        const QScopeGuard done([this] { runActive_ = false; });
        orvelle::CheckSession session(progressDlg_, CancelFlag);
        result = session.Run(FileList(), ExactMode, {IgnoreSize, Err_Count, Err_Clr});
    }
    if (progressDlg_)
        progressDlg_->hide();
    if (result.remaining.size() != ui->ListBox1->count())
        SetFileList(result.remaining);
    RefreshCountText();

    if (closeRequested_) {
        // The window was asked to close (and agreed to) while the run went on.
        QTimer::singleShot(0, this, &QWidget::close);
        return;
    }
    if (result.outcome == orvelle::CheckOutcome::Failed)
        std::rethrow_exception(result.error);
    if (result.outcome == orvelle::CheckOutcome::Cancelled)
        return;
    if (result.MatchList.isEmpty())
        prompts_.ShowMessage(this, QStringLiteral("重複画像はありません！"));
    if (CancelFlag || result.MatchList.isEmpty())
        return;
    ShowResults(result.MatchList);
    ui->ListBox1->clear();
    RefreshCountText();
}

void TMainForm::ShowResults(const QStringList& MatchList)
{
    // A fresh window for each set of results, released once its pending
    // events have been handled.
    auto* CompForm = new TCompForm(prompts_, this);
    const QScopeGuard release([CompForm] { CompForm->deleteLater(); });
    orvelle::BuildResultsTree(*CompForm->TreeView1(), MatchList);
    CompForm->exec();
}

void TMainForm::SetFileList(const QStringList& paths)
{
    ui->ListBox1->clear();
    AppendEntries(paths);
}

// ------------------------------------------------------------------- about

void TMainForm::mAboutClick()
{
    // A fresh box for every showing, released once the events still pending
    // for it have been handled.
    auto* AboutBox = new TAboutBox(prompts_, this);
    AboutBox->exec();
    AboutBox->deleteLater();
}

// --------------------------------------------------------------- accessors

QListWidget* TMainForm::ListBox1() const
{
    return ui->ListBox1;
}

QListWidget* TMainForm::CheckListBox1() const
{
    return ui->CheckListBox1;
}

QFileDialog* TMainForm::OpenDialog1() const
{
    return openDialog1_;
}

QMenu* TMainForm::PopupMenu1() const
{
    return popupMenu1_;
}

QString TMainForm::StatusPanelText(int panel) const
{
    return (panel == 0 ? statusPanel0_ : statusPanel1_)->text();
}

QStringList TMainForm::FileList() const
{
    QStringList paths;
    paths.reserve(ui->ListBox1->count());
    for (int i = 0; i < ui->ListBox1->count(); ++i) {
        const QListWidgetItem* item = ui->ListBox1->item(i);
        const QVariant real = item->data(kPathRole);
        paths << (real.isValid() ? real.toString() : item->text());
    }
    return paths;
}

orvelle::ExtensionItems TMainForm::ExtensionList() const
{
    orvelle::ExtensionItems items;
    items.reserve(ui->CheckListBox1->count());
    for (int i = 0; i < ui->CheckListBox1->count(); ++i) {
        const QListWidgetItem* item = ui->CheckListBox1->item(i);
        const QVariant real = item->data(kPathRole);
        items.push_back(
            {real.isValid() ? real.toString() : item->text(), item->checkState() == Qt::Checked});
    }
    return items;
}

void TMainForm::SetExtensionPatterns(const QStringList& patterns)
{
    ui->CheckListBox1->clear();
    // Shown as names are: a pattern whose bytes are not UTF-8 keeps them
    // beside its text.
    for (const QString& pattern : patterns) {
        auto* item = new QListWidgetItem(orvelle::DisplayText(pattern), ui->CheckListBox1);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
        if (orvelle::HoldsRawBytes(pattern))
            item->setData(kPathRole, pattern);
    }
}
