// File > Import Drawings through the scripted UI: the dialog, where the frames go, and what a
// refusal or failure leaves.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QUrl>

#include "document/LumvaneDoc.h"
#include "framework/FrameWnd.h"
#include "intake/ImportDrawingsDlg.h"
#include "intake/ImportTestFiles.h"
#include "raster/GrayImage.h"
#include "support/FrameAccess.h"
#include "support/ScriptedUi.h"

using namespace importtest;

namespace {

class ImportWindow : public testing::Test {
  protected:
    QTemporaryDir dir;
    CScriptedUi ui;
    CLumvaneDoc doc;
    ImportDoors doors;
    void SetUp() override {
        ASSERT_EQ(doc.CreateAnimation(24, 10), 1);  // one white frame
        doors.insertAfterCurrent = [this](std::vector<CompactImage>& f) {
            return doc.InsertFrames(doc.m_nCurrentFrame, f);
        };
        doors.replace = [this](std::vector<CompactImage>& f) { return doc.ReplaceWithFrames(f); };
    }
    // A drawing: paper 235 with a bar of the given tone.
    QString Drawing(const QString& name, int tone, int w = 24, int h = 10) {
        QImage image(w, h, QImage::Format_RGB32);
        image.fill(qRgb(235, 235, 235));
        for (int y = 3; y < 7; ++y)
            for (int x = 2; x < w - 2; ++x) image.setPixel(x, y, qRgb(tone, tone, tone));
        EXPECT_TRUE(image.save(dir.filePath(name)));
        return dir.filePath(name);
    }
    // Presses Import after setting where the frames go and the order.
    CScriptedUi::DialogScript Accept(bool fresh, bool byNumber, bool levels = false) {
        return [=](CDialog& d) {
            d.SetCheck(fresh ? IDC_IMPORT_NEW_ANIMATION : IDC_IMPORT_AFTER_CURRENT, true);
            d.SetCheck(IDC_IMPORT_BY_NUMBER, byNumber);
            d.SetCheck(IDC_IMPORT_LEVELS, levels);
            d.SetCheck(IDC_IMPORT_FIT_NONE, true);
            d.ClickButton(IDOK);
        };
    }
    int Pixel(int frame, int x, int yTop) const {
        const auto f = frames::Read(doc, frame);
        return f->GetData()[(f->GetHeight() - 1 - yTop) * f->GetWidth() + x];
    }
};

TEST_F(ImportWindow, FramesGoAfterTheCurrentFrameAsOneUndoStep) {
    Drawing("a1.png", 20);
    Drawing("a3.png", 90);
    ui.m_dialogScripts.push_back(Accept(false, true));
    OnImportDrawings(doc, nullptr, {dir.path()}, doors);
    EXPECT_EQ(ui.m_dialogTitles, QStringList{"Import Drawings"});
    EXPECT_EQ(ui.Texts(), QStringList());
    // The white frame, then 1, a hold of 1, and 3; the last one is current.
    ASSERT_EQ(doc.m_nFrameCount, 4);
    EXPECT_EQ(doc.m_nCurrentFrame, 3);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(Pixel(0, 14, 5), 255);
    EXPECT_EQ(Pixel(1, 14, 5), 20);
    EXPECT_EQ(Pixel(2, 14, 5), 20);
    EXPECT_EQ(Pixel(3, 14, 5), 90);
    EXPECT_EQ(Pixel(3, 14, 0), 235);  // levels off: the paper as scanned
    // One undo takes them all out again.
    doc.OnEditUndo();
    EXPECT_EQ(doc.m_nFrameCount, 1);
}

TEST_F(ImportWindow, NewAnimationTakesTheFirstImagesSizeAfterAskingToSave) {
    Drawing("b1.png", 30, 41, 12);
    Drawing("b2.png", 60, 41, 12);
    doc.SetModifiedFlag(true);
    // "Save changes?" answered Cancel: nothing happens.
    ui.m_dialogScripts.push_back(Accept(true, false));
    ui.m_answers.push_back(IDCANCEL);
    OnImportDrawings(doc, nullptr, {dir.path()}, doors);
    EXPECT_EQ(ui.Texts(), QStringList{"Save changes to Untitled?"});
    EXPECT_EQ(doc.m_nFrameCount, 1);
    EXPECT_EQ(doc.m_nWidth, 24);
    // No: a new animation of both drawings, width up to a multiple of 4.
    ui.Clear();
    ui.m_dialogScripts.push_back(Accept(true, false, true));
    ui.m_answers.push_back(IDNO);
    OnImportDrawings(doc, nullptr, {dir.path()}, doors);
    ASSERT_EQ(doc.m_nFrameCount, 2);
    EXPECT_EQ(doc.m_nWidth, 44);
    EXPECT_EQ(doc.m_nHeight, 12);
    EXPECT_EQ(doc.GetTitle(), "Untitled");
    EXPECT_EQ(Pixel(0, 1, 0), 255);   // auto levels: paper white
    EXPECT_EQ(Pixel(0, 20, 5), 0);    // and the darkest line black
    EXPECT_EQ(Pixel(1, 43, 5), 255);  // the column the rounding added is paper
}

TEST_F(ImportWindow, RefusalsAndFailuresLeaveTheAnimationAsItWas) {
    const QString c1 = Drawing("c1.png", 20);
    const QString c01 = Drawing("c01.png", 40);
    ASSERT_TRUE(WriteBytes(dir.filePath("c2.png"), "not a picture"));
    struct Case {
        const char* what;
        QStringList paths;
        CScriptedUi::DialogScript script;
        QStringList texts;
    };
    const QString same = ImportTextSameNumber(c1, c01, 1);
    const Case cases[] = {
        {"missing file",
         {dir.filePath("none.png")},
         {},
         {ImportTextNotFound(dir.filePath("none.png"))}},
        {"unreadable file",
         {c1, dir.filePath("c2.png")},
         [](CDialog& d) {
             d.ClickButton(IDOK);
             EXPECT_FALSE(d.IsEnded());
             d.ClickButton(IDCANCEL);
         },
         {ImportTextUnreadable(dir.filePath("c2.png"))}},
        {"cancelled dialog", {c1}, [](CDialog& d) { d.ClickButton(IDCANCEL); }, {}},
        {"one number twice stays in the dialog",
         {c1, c01},
         [same](CDialog& d) {
             d.SetCheck(IDC_IMPORT_BY_NUMBER, true);
             EXPECT_EQ(d.Item<QLabel>(IDC_IMPORT_SUMMARY)->text(), same);
             d.ClickButton(IDOK);
             EXPECT_FALSE(d.IsEnded());
             d.ClickButton(IDCANCEL);
         },
         {same}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ui.Clear();
        if (c.script) ui.m_dialogScripts.push_back(c.script);
        OnImportDrawings(doc, nullptr, c.paths, doors);
        EXPECT_EQ(ui.Texts().join('|').toStdString(), c.texts.join('|').toStdString());
        EXPECT_EQ(doc.m_nFrameCount, 1);
        EXPECT_FALSE(doc.IsModified());
        EXPECT_EQ(Pixel(0, 5, 5), 255);
    }
    // 499 frames and two drawings: only one more fits, refused in the dialog.
    std::vector<CompactImage> many(498, CompactImage::Filled(24, 10, 255));
    ASSERT_EQ(doc.InsertFrames(0, many), 1);
    ui.Clear();
    ui.m_dialogScripts.push_back(Accept(false, false));
    OnImportDrawings(doc, nullptr, {c1, Drawing("d2.png", 50)}, doors);
    EXPECT_EQ(ui.Texts(), QStringList{ImportTextTooMany(2, 1)});
    EXPECT_EQ(doc.m_nFrameCount, 499);
}

TEST_F(ImportWindow, DialogShowsTheFirstDrawingAndCounts) {
    Drawing("e1.png", 20);
    Drawing("e4.png", 20);
    CImportDrawingsDlg dlg;
    dlg.m_files = {dir.filePath("e1.png"), dir.filePath("e4.png")};
    dlg.m_animationSize = QSize(24, 10);
    ui.m_dialogScripts.push_back([](CDialog& d) {
        EXPECT_TRUE(d.IsChecked(IDC_IMPORT_LEVELS));
        EXPECT_FALSE(d.IsChecked(IDC_IMPORT_DROP_COLOUR));
        EXPECT_FALSE(d.IsChecked(IDC_IMPORT_PEGS));
        EXPECT_TRUE(d.IsChecked(IDC_IMPORT_FIT_INSIDE));
        EXPECT_TRUE(d.IsChecked(IDC_IMPORT_AFTER_CURRENT));
        EXPECT_EQ(d.Item<QLabel>(IDC_IMPORT_SUMMARY)->text(), "2 drawings, 2 frames");
        EXPECT_FALSE(d.Item<QLabel>(IDC_IMPORT_BEFORE)->pixmap().isNull());
        EXPECT_FALSE(d.Item<QLabel>(IDC_IMPORT_AFTER)->pixmap().isNull());
        d.SetCheck(IDC_IMPORT_BY_NUMBER, true);
        EXPECT_EQ(d.Item<QLabel>(IDC_IMPORT_SUMMARY)->text(), "2 drawings, 4 frames with holds");
        d.SetCheck(IDC_IMPORT_PEGS, true);
        d.SetCheck(IDC_IMPORT_FIT_COVER, true);
        d.ClickButton(IDOK);
    });
    ASSERT_EQ(dlg.DoModal(), IDOK);
    const ImportOptions o = dlg.Options();
    EXPECT_EQ(o.fit, FitMode::Cover);
    EXPECT_TRUE(o.registerPegs && o.byNumber && o.autoLevels && !o.dropColour);
    EXPECT_EQ(dlg.FrameSize(), QSize(24, 10));
    EXPECT_EQ(dlg.Plan().source, (std::vector<int>{0, 0, 0, 1}));
}

TEST_F(ImportWindow, DroppedImagesImportAndADroppedAnimationOpens) {
    CFrameWnd frame;
    QStringList images;
    QString animation;
    AcceptDroppedDrawings(
        &frame, [&](const QStringList& p) { images = p; },
        [&](const QString& p) { animation = p; });
    EXPECT_TRUE(frame.acceptDrops());
    auto drop = [&](const QStringList& paths) {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(1, 1), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&frame, &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent dropped(QPointF(1, 1), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&frame, &dropped);
        QCoreApplication::processEvents();
    };
    drop({"/s/a.png", "/s/b.png"});
    EXPECT_EQ(images, (QStringList{"/s/a.png", "/s/b.png"}));
    EXPECT_EQ(animation, "");
    drop({"/s/walk.ANM"});
    EXPECT_EQ(animation, "/s/walk.ANM");
    images.clear();
    drop({"/s/folder"});
    EXPECT_EQ(images, QStringList{"/s/folder"});
}

}  // namespace
