#pragma once

#include <QStringList>

#include "framework/Dialog.h"

// Control ids of the start-up dialogs.
enum : int { IDC_CREATE_NEW = 1001, IDC_OPEN_EXISTING = 1002 };

// The warranty disclaimer shown at every start: "Yes" (OK) goes on, "No" or Escape (Cancel)
// ends the program. It has no close box.
class CDisclaimerDlg : public CDialog {
    Q_OBJECT
  public:
    explicit CDisclaimerDlg(QWidget* parent = nullptr);
    // The three static texts, in order.
    static QStringList Texts();
};

// Chooses between a new animation and an existing one. Each button sets its flag and closes
// the dialog with a result that is neither OK nor Cancel.
class CStartDlg : public CDialog {
    Q_OBJECT
  public:
    explicit CStartDlg(QWidget* parent = nullptr);
    int m_bCreateNew = 0;
    int m_bOpenExisting = 0;
};

// The About box with the program's icon, version and the summary of the frame keys.
class CAboutDlg : public CDialog {
    Q_OBJECT
  public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    static QString VersionText() { return QStringLiteral("Lumvane Version 1.0"); }
    // The key summary, one static line each, in order.
    static QStringList KeySummary();
    // Every static text of the box, in order from the top.
    QStringList StaticTexts() const;
};
