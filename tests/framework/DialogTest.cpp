#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "framework/Dialog.h"
#include "support/ScriptedUi.h"

namespace {
struct TestDlg : CDialog {
    int m_nInt = 5;
    unsigned m_nUInt = 7;
    QString m_str = QStringLiteral("abc");
    int m_nRadio = 1;
    TestDlg() : CDialog(QStringLiteral("Test")) {
        RegisterControl(100, new QLineEdit(this));
        RegisterControl(101, new QLineEdit(this));
        RegisterControl(102, new QLineEdit(this));
        RegisterButton(IDOK, new QPushButton(QStringLiteral("OK"), this));
        RegisterButton(IDCANCEL, new QPushButton(QStringLiteral("Cancel"), this));
        RegisterButton(200, new QRadioButton(QStringLiteral("a"), this));
        RegisterButton(201, new QRadioButton(QStringLiteral("b"), this));
        RegisterRadioGroup(200, {200, 201});
    }
    void DoDataExchange(CDataExchange* pDX) override {
        DDX_Text(pDX, 100, m_nInt);
        DDV_MinMaxInt(pDX, m_nInt, 1, 10000);
        DDX_Text(pDX, 101, m_nUInt);
        DDV_MinMaxUInt(pDX, m_nUInt, 2, 40);
        DDX_Text(pDX, 102, m_str);
        DDV_MaxChars(pDX, m_str, 4);
        DDX_Radio(pDX, 200, m_nRadio);
    }
};
}  // namespace

TEST(Dialog, ExchangeTextsAndFirstFailureOnly) {
    struct Case {
        QString i, u, s;
        QStringList messages;
        int focus;
        int result;
    } cases[] = {
        {"12", "3", "ab", {}, 0, IDOK},
        {" 12 ", "40", "abcd", {}, 0, IDOK},
        {"x", "abc", "abcdef", {"Please enter an integer."}, 100, IDCANCEL},
        {"", "3", "", {"Please enter an integer."}, 100, IDCANCEL},
        {"0", "3", "", {"Please enter an integer between 1 and 10000."}, 100, IDCANCEL},
        {"10001", "3", "", {"Please enter an integer between 1 and 10000."}, 100, IDCANCEL},
        {"-5", "3", "", {"Please enter an integer between 1 and 10000."}, 100, IDCANCEL},
        {"9999999999", "3", "", {"Please enter an integer."}, 100, IDCANCEL},
        {"5", "-1", "", {"Please enter a positive integer."}, 101, IDCANCEL},
        {"5", "1", "", {"Please enter an integer between 2 and 40."}, 101, IDCANCEL},
        {"5", "41", "", {"Please enter an integer between 2 and 40."}, 101, IDCANCEL},
    };
    for (const Case& c : cases) {
        CScriptedUi ui;
        TestDlg dlg;
        ui.m_dialogScripts.push_back([&](CDialog& d) {
            EXPECT_EQ(d.GetItemText(100), QStringLiteral("5"));
            EXPECT_TRUE(d.IsChecked(201));
            d.SetItemText(100, c.i);
            d.SetItemText(101, c.u);
            d.SetItemText(102, c.s);
            d.ClickButton(200);
            d.ClickButton(IDOK);
            if (!c.messages.isEmpty()) {
                EXPECT_EQ(d.FocusedControl(), c.focus);
            }
        });
        EXPECT_EQ(dlg.DoModal(), c.result) << c.i.toStdString();
        EXPECT_EQ(ui.Texts(), c.messages) << c.i.toStdString();
        for (const auto& m : ui.m_messages) EXPECT_EQ(m.caption, QStringLiteral("Lumvane"));
        if (c.result == IDOK) {
            EXPECT_EQ(dlg.m_nRadio, 0);
        }
    }
}

TEST(Dialog, MaxCharsLimitsTheEditOnLoad) {
    CScriptedUi ui;
    TestDlg dlg;
    ui.m_dialogScripts.push_back([](CDialog& d) {
        d.SetItemText(102, QStringLiteral("abcdefgh"));
        EXPECT_EQ(d.GetItemText(102), QStringLiteral("abcd"));
        d.ClickButton(IDCANCEL);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_TRUE(ui.Texts().isEmpty());
}
