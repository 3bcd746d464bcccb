#include <atomic>
#include <memory>

#include <QApplication>
#include <QImage>
#include <QScreen>
#include <QTest>

#include "FakePrompts.h"
#include "Fonts.h"
#include "ProgressUnit.h"
#include "Widgets.h"

class TestProgressDlg : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { orvelle::RegisterFontSubstitutes(); }
    void init();
    void cleanup();

    void window();
    void controls_data();
    void controls();
    void cancelStopsTheRun_data();
    void cancelStopsTheRun();
    void closeBoxCancels();
    void longPathIsCutOffNotWrapped();

private:
    void ShowAndActivate()
    {
        dlg_->show();
        QVERIFY(QTest::qWaitForWindowActive(dlg_.get()));
    }

    std::atomic<bool> cancelFlag_{false};
    orvelle::test::FakePrompts prompts_;
    std::unique_ptr<TProgressDlg> dlg_;
};

void TestProgressDlg::init()
{
    cancelFlag_ = false;
    prompts_ = {};
    dlg_ = std::make_unique<TProgressDlg>(cancelFlag_, prompts_);
}

void TestProgressDlg::cleanup()
{
    dlg_.reset();
    QCOMPARE(prompts_.shown.size(), 0);
}

void TestProgressDlg::window()
{
    QCOMPARE(dlg_->windowTitle(), QStringLiteral("重複している画像をチェックしています..."));
    QCOMPARE(dlg_->size(), QSize(500, 100));
    QCOMPARE(dlg_->minimumSize(), dlg_->maximumSize());
    QVERIFY(dlg_->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(dlg_->font().family(), QStringLiteral("ＭＳ Ｐゴシック"));
    QCOMPARE(dlg_->Label1()->font().pixelSize(), 12);

    // Modeless: showing it returns at once and leaves other windows usable.
    ShowAndActivate();
    QVERIFY(!dlg_->isModal());
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    QCOMPARE(QApplication::focusWidget(), dlg_->CancelBtn());
    const QRect area = dlg_->screen()->availableGeometry();
    const QRect frame = dlg_->frameGeometry();
    QCOMPARE(frame.topLeft(), orvelle::test::CentredOn(area, frame.size()));
}

void TestProgressDlg::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("takesFocus");

    QTest::newRow("Label1") << "Label1" << QRect(5, 0, 490, 20) << "" << false;
    QTest::newRow("Label2") << "Label2" << QRect(5, 20, 490, 20) << "" << false;
    QTest::newRow("ProgressBar1") << "ProgressBar1" << QRect(5, 45, 490, 16) << "" << false;
    QTest::newRow("CancelBtn") << "CancelBtn" << QRect(210, 70, 80, 25) << "キャンセル" << true;
}

void TestProgressDlg::controls()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    QFETCH(bool, takesFocus);

    auto* control = dlg_->findChild<QWidget*>(name);
    QVERIFY(control);
    QCOMPARE(control->geometry(), geometry);
    if (!qobject_cast<QProgressBar*>(control))
        QCOMPARE(control->property("text").toString(), text);
    QCOMPARE(control->focusPolicy() != Qt::NoFocus, takesFocus);
    if (auto* label = qobject_cast<QLabel*>(control)) {
        QCOMPARE(label->alignment(), Qt::AlignLeft | Qt::AlignBottom);
        QCOMPARE(label->minimumSize(), label->maximumSize());
    }
    if (auto* bar = qobject_cast<QProgressBar*>(control)) {
        QCOMPARE(bar->minimum(), 0);
        QCOMPARE(bar->maximum(), 100);
        QCOMPARE(bar->value(), 0);
    }
}

void TestProgressDlg::cancelStopsTheRun_data()
{
    QTest::addColumn<bool>("byEsc");
    QTest::newRow("CancelBtn click") << false;
    QTest::newRow("Esc") << true;
}

void TestProgressDlg::cancelStopsTheRun()
{
    QFETCH(bool, byEsc);

    ShowAndActivate();
    if (byEsc)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    else
        QTest::mouseClick(dlg_->CancelBtn(), Qt::LeftButton);
    QVERIFY(cancelFlag_);
    QVERIFY(dlg_->isHidden());
}

void TestProgressDlg::closeBoxCancels()
{
    ShowAndActivate();
    dlg_->Label1()->setText(QStringLiteral("比較元：/data/a.jpg"));
    dlg_->Label2()->setText(QStringLiteral("比較先：/data/b.jpg"));
    dlg_->ProgressBar1()->setMaximum(7);
    dlg_->ProgressBar1()->setValue(3);

    // The close box is Cancel: a dialog merely hidden would leave the run
    // going on unseen.
    QVERIFY(dlg_->close());
    QVERIFY(dlg_->isHidden());
    QVERIFY(cancelFlag_);

    // The next check finds the dialog as the last one left it.
    cancelFlag_ = false;
    ShowAndActivate();
    QCOMPARE(dlg_->Label1()->text(), QStringLiteral("比較元：/data/a.jpg"));
    QCOMPARE(dlg_->Label2()->text(), QStringLiteral("比較先：/data/b.jpg"));
    QCOMPARE(dlg_->ProgressBar1()->maximum(), 7);
    QCOMPARE(dlg_->ProgressBar1()->value(), 3);
    QVERIFY(!cancelFlag_);
}

void TestProgressDlg::longPathIsCutOffNotWrapped()
{
    // A path with blanks, so a wrapping label would have places to break it.
    QString path = QStringLiteral("比較元：/data");
    while (path.size() < 300)
        path += QStringLiteral("/写真 フォルダ");
    dlg_->Label1()->setText(path);
    ShowAndActivate();
    QCOMPARE(dlg_->Label1()->size(), QSize(490, 20));

    const QImage shot = dlg_->Label1()->grab().toImage();
    const QRgb background = shot.pixel(shot.width() - 1, 0);
    const auto inkInRows = [&](int top, int bottom, int left, int right) {
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x)
                if (shot.pixel(x, y) != background)
                    return true;
        return false;
    };
    // One line sits at the bottom edge; a second, wrapped line would put
    // ink into the top rows. The text runs on to the right edge.
    const int h = shot.height();
    const int w = shot.width();
    QVERIFY(!inkInRows(0, h / 4, 0, w));
    QVERIFY(inkInRows(h / 2, h, 0, w / 4));
    QVERIFY(inkInRows(h / 2, h, w - w / 20, w));
}

QTEST_MAIN(TestProgressDlg)
#include "tst_ProgressDlg.moc"
