#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <map>
#include <vector>

class CDialog;
class QAbstractButton;

// State of one data exchange between a dialog's controls and its members.
class CDataExchange {
  public:
    CDataExchange(CDialog* dialog, bool saveAndValidate)
        : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}
    // Reports nothing itself: marks the exchange failed and focuses the last control.
    void Fail();
    CDialog* m_pDlgWnd;
    bool m_bSaveAndValidate;
    bool m_bFailed = false;
    int m_idLastControl = 0;
};

// A dialog whose controls carry numeric ids, so that handlers, data exchange and test scripts
// address them the same way.
class CDialog : public QDialog {
    Q_OBJECT
  public:
    explicit CDialog(const QString& title, QWidget* parent = nullptr);

    // Runs modally through the UI service; returns the result of EndDialog.
    int DoModal();
    // Called by the UI service before the dialog runs; false aborts it.
    bool InitModal();
    virtual bool OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    virtual void DoDataExchange(CDataExchange* /*pDX*/) {}
    bool UpdateData(bool saveAndValidate = true);
    void EndDialog(int result);
    bool IsEnded() const { return m_bEnded; }
    int GetResult() const { return m_nResult; }

    // Controls by id.
    void RegisterControl(int id, QWidget* control);
    QWidget* GetDlgItem(int id) const;
    template <class T>
    T* Item(int id) const {
        return qobject_cast<T*>(GetDlgItem(id));
    }
    // Buttons (push, radio, check) send their id as a command when clicked.
    void RegisterButton(int id, QAbstractButton* button);
    void OnCommand(int id, std::function<void()> handler) { m_handlers[id] = std::move(handler); }
    // A radio group: its buttons in index order.
    void RegisterRadioGroup(int firstId, std::vector<int> ids) { m_radioGroups[firstId] = ids; }
    const std::vector<int>& RadioGroup(int firstId) const;

    // What a user does, for the UI service and for test scripts.
    void SetItemText(int id, const QString& text);
    QString GetItemText(int id) const;
    void SetCheck(int id, bool checked);
    bool IsChecked(int id) const;
    void ClickButton(int id);
    int FocusedControl() const { return m_nFocusId; }
    void FocusControl(int id);

    void done(int r) override;
    void reject() override;
    void accept() override;

  protected:
    void SendCommand(int id);

  private:
    std::map<int, QWidget*> m_controls;
    std::map<int, std::function<void()>> m_handlers;
    std::map<int, std::vector<int>> m_radioGroups;
    bool m_bEnded = false;
    int m_nResult = 0;
    int m_nFocusId = 0;
};

// Standard exchange helpers. Each does nothing once the exchange has failed, so the first
// failure is the only one reported.
void DDX_Text(CDataExchange* pDX, int id, int& value);
void DDX_Text(CDataExchange* pDX, int id, unsigned& value);
void DDX_Text(CDataExchange* pDX, int id, QString& value);
void DDX_Check(CDataExchange* pDX, int id, int& value);
void DDX_Radio(CDataExchange* pDX, int firstId, int& index);
void DDX_Slider(CDataExchange* pDX, int id, int& value);
void DDV_MinMaxInt(CDataExchange* pDX, int value, int minVal, int maxVal);
void DDV_MinMaxUInt(CDataExchange* pDX, unsigned value, unsigned minVal, unsigned maxVal);
void DDV_MaxChars(CDataExchange* pDX, const QString& value, int maxChars);

// The standard texts, shared with code that validates outside a dialog.
QString AfxTextNotInteger();
QString AfxTextNotPositiveInteger();
QString AfxTextRange(long long minVal, long long maxVal);
QString AfxTextMaxChars(int maxChars);
// Strict parsers with the dialog rules: optional blanks around, sign only for signed values.
bool AfxParseInt(const QString& text, int& value);
bool AfxParseUInt(const QString& text, unsigned& value);
