#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QWidget>

#include "framework/Document.h"
#include "framework/FrameWnd.h"
#include "framework/View.h"
#include "framework/WinApp.h"

namespace {
constexpr int kCmd = 40001;
constexpr int kViewOnly = 40002;
constexpr int kNoHandler = 40003;
constexpr int kAppCmd = 40004;

struct Doc : CDocument {
    int runs = 0;
    bool enabled = true;
    Doc() {
        OnCommand(kCmd, [this] { ++runs; });
        OnUpdateCommand(kCmd, [this](CCmdUI* ui) { ui->Enable(enabled); });
    }
};

struct View : QWidget, CView {
    int runs = 0;
    explicit View(Doc* d) {
        d->AddView(this);
        OnCommand(kViewOnly, [this] { ++runs; });
    }
    QWidget* GetWidget() override { return this; }
};

struct Fixture : ::testing::Test {
    CWinApp app{QStringLiteral("Lumvane")};
    Doc doc;
    CFrameWnd frame;
    View* view = new View(&doc);
    int appRuns = 0;
    void SetUp() override {
        frame.setCentralWidget(view);
        frame.SetActiveView(view);
        app.OnCommand(kAppCmd, [this] { ++appRuns; });
    }
};
}  // namespace

TEST_F(Fixture, RoutesViewThenDocumentThenApp) {
    EXPECT_TRUE(frame.ExecuteCommand(kViewOnly));
    EXPECT_TRUE(frame.ExecuteCommand(kCmd));
    EXPECT_TRUE(frame.ExecuteCommand(kAppCmd));
    EXPECT_EQ(view->runs, 1);
    EXPECT_EQ(doc.runs, 1);
    EXPECT_EQ(appRuns, 1);
}

TEST_F(Fixture, CommandWithoutHandlerIsDisabled) {
    CCmdUI ui(kNoHandler);
    frame.UpdateCmdUI(ui);
    EXPECT_FALSE(ui.m_bEnabled);
    EXPECT_FALSE(frame.ExecuteCommand(kNoHandler));
}

// A disabled command does nothing, whether it comes from a menu item or from its key, even
// when the action's own state is stale (it was enabled when last refreshed).
TEST_F(Fixture, DisabledCommandDoesNothingFromMenuOrKey) {
    QMenu* menu = frame.menuBar()->addMenu(QStringLiteral("&Test"));
    QAction* a = frame.AddCommand(kCmd, QStringLiteral("&Run"), {QKeySequence(Qt::Key_A)});
    menu->addAction(a);
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    frame.UpdateCommandActions();
    ASSERT_TRUE(a->isEnabled());

    doc.enabled = false;  // the action still looks enabled
    a->trigger();         // as from the menu
    EXPECT_EQ(doc.runs, 0);
    QTest::keyClick(view, Qt::Key_A);  // as from the key
    EXPECT_EQ(doc.runs, 0);

    doc.enabled = true;
    frame.UpdateCommandActions();
    QTest::keyClick(view, Qt::Key_A);
    EXPECT_EQ(doc.runs, 1);
    a->trigger();
    EXPECT_EQ(doc.runs, 2);
    frame.UpdateCommandActions();
    doc.enabled = false;
    frame.UpdateCommandActions();
    EXPECT_FALSE(a->isEnabled());
}

TEST_F(Fixture, BlockedCommandsDoNotRun) {
    frame.SetCommandsBlocked(true);
    EXPECT_FALSE(frame.ExecuteCommand(kCmd));
    frame.SetCommandsBlocked(false);
    EXPECT_TRUE(frame.ExecuteCommand(kCmd));
}

TEST_F(Fixture, PromptSplitsIntoStatusTextAndTooltip) {
    QAction* a =
        frame.AddCommand(kCmd, QStringLiteral("&Run"), {}, QStringLiteral("Runs the thing\nRun"));
    EXPECT_EQ(a->statusTip(), QStringLiteral("Runs the thing"));
    EXPECT_EQ(a->toolTip(), QStringLiteral("Run"));
}
