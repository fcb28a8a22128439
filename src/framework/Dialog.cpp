#include "framework/Dialog.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QSlider>
#include <climits>

#include "framework/Ui.h"

void CDataExchange::Fail() {
    m_bFailed = true;
    if (m_pDlgWnd && m_idLastControl) m_pDlgWnd->FocusControl(m_idLastControl);
}

CDialog::CDialog(const QString& title, QWidget* parent) : QDialog(parent) {
    setWindowTitle(title);
}

int CDialog::DoModal() {
    return AfxUi().DoModal(*this);
}

bool CDialog::InitModal() {
    m_bEnded = false;
    m_nResult = 0;
    return OnInitDialog();
}

bool CDialog::OnInitDialog() {
    UpdateData(false);
    return true;
}

void CDialog::OnOK() {
    if (UpdateData(true)) EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

bool CDialog::UpdateData(bool saveAndValidate) {
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(&dx);
    return !dx.m_bFailed;
}

void CDialog::EndDialog(int result) {
    done(result);
}

void CDialog::done(int r) {
    m_bEnded = true;
    m_nResult = r;
    QDialog::done(r);
}

void CDialog::reject() {
    SendCommand(IDCANCEL);
}
void CDialog::accept() {
    SendCommand(IDOK);
}

void CDialog::RegisterControl(int id, QWidget* control) {
    m_controls[id] = control;
}

QWidget* CDialog::GetDlgItem(int id) const {
    auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

void CDialog::RegisterButton(int id, QAbstractButton* button) {
    RegisterControl(id, button);
    connect(button, &QAbstractButton::clicked, this, [this, id] { SendCommand(id); });
}

const std::vector<int>& CDialog::RadioGroup(int firstId) const {
    static const std::vector<int> none;
    auto it = m_radioGroups.find(firstId);
    return it == m_radioGroups.end() ? none : it->second;
}

void CDialog::SendCommand(int id) {
    auto it = m_handlers.find(id);
    if (it != m_handlers.end()) {
        auto h = it->second;
        h();
    } else if (id == IDOK) {
        OnOK();
    } else if (id == IDCANCEL) {
        OnCancel();
    }
}

void CDialog::SetItemText(int id, const QString& text) {
    QWidget* w = GetDlgItem(id);
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
        e->setText(text);
    } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        b->setText(text);
    }
}

QString CDialog::GetItemText(int id) const {
    QWidget* w = GetDlgItem(id);
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
    return QString();
}

void CDialog::SetCheck(int id, bool checked) {
    if (auto* b = qobject_cast<QAbstractButton*>(GetDlgItem(id))) {
        const bool exclusive = b->autoExclusive();
        if (!checked) b->setAutoExclusive(false);
        b->setChecked(checked);
        b->setAutoExclusive(exclusive);
    }
}

bool CDialog::IsChecked(int id) const {
    auto* b = qobject_cast<QAbstractButton*>(GetDlgItem(id));
    return b && b->isChecked();
}

void CDialog::ClickButton(int id) {
    if (auto* b = qobject_cast<QAbstractButton*>(GetDlgItem(id))) {
        if (b->isEnabled()) b->click();
    } else {
        SendCommand(id);
    }
}

void CDialog::FocusControl(int id) {
    m_nFocusId = id;
    if (QWidget* w = GetDlgItem(id)) {
        w->setFocus();
        if (auto* e = qobject_cast<QLineEdit*>(w)) e->selectAll();
    }
}

QString AfxTextNotInteger() {
    return QStringLiteral("Please enter an integer.");
}
QString AfxTextNotPositiveInteger() {
    return QStringLiteral("Please enter a positive integer.");
}
QString AfxTextRange(long long minVal, long long maxVal) {
    return QStringLiteral("Please enter an integer between %1 and %2.").arg(minVal).arg(maxVal);
}
QString AfxTextMaxChars(int maxChars) {
    return QStringLiteral("Please enter no more than %1 characters.").arg(maxChars);
}

static bool ParseDigits(const QString& text, bool allowSign, long long limitPos, long long limitNeg,
                        long long& out) {
    const QString t = text.trimmed();
    int i = 0;
    bool negative = false;
    if (allowSign && i < t.size() && (t[i] == '-' || t[i] == '+')) {
        negative = t[i] == '-';
        ++i;
    }
    if (i >= t.size()) return false;
    long long v = 0;
    for (; i < t.size(); ++i) {
        const QChar c = t[i];
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c.unicode() - '0');
        if (v > (negative ? limitNeg : limitPos)) return false;
    }
    out = negative ? -v : v;
    return true;
}

bool AfxParseInt(const QString& text, int& value) {
    long long v;
    if (!ParseDigits(text, true, INT_MAX, -static_cast<long long>(INT_MIN), v)) return false;
    value = static_cast<int>(v);
    return true;
}

bool AfxParseUInt(const QString& text, unsigned& value) {
    long long v;
    if (!ParseDigits(text, false, UINT_MAX, 0, v)) return false;
    value = static_cast<unsigned>(v);
    return true;
}

static void Prepare(CDataExchange* pDX, int id) {
    pDX->m_idLastControl = id;
}

void DDX_Text(CDataExchange* pDX, int id, int& value) {
    if (pDX->m_bFailed) return;
    Prepare(pDX, id);
    if (pDX->m_bSaveAndValidate) {
        int v;
        if (!AfxParseInt(pDX->m_pDlgWnd->GetItemText(id), v)) {
            AfxMessageBox(AfxTextNotInteger());
            pDX->Fail();
            return;
        }
        value = v;
    } else {
        pDX->m_pDlgWnd->SetItemText(id, QString::number(value));
    }
}

void DDX_Text(CDataExchange* pDX, int id, unsigned& value) {
    if (pDX->m_bFailed) return;
    Prepare(pDX, id);
    if (pDX->m_bSaveAndValidate) {
        unsigned v;
        if (!AfxParseUInt(pDX->m_pDlgWnd->GetItemText(id), v)) {
            AfxMessageBox(AfxTextNotPositiveInteger());
            pDX->Fail();
            return;
        }
        value = v;
    } else {
        pDX->m_pDlgWnd->SetItemText(id, QString::number(value));
    }
}

void DDX_Text(CDataExchange* pDX, int id, QString& value) {
    if (pDX->m_bFailed) return;
    Prepare(pDX, id);
    if (pDX->m_bSaveAndValidate)
        value = pDX->m_pDlgWnd->GetItemText(id);
    else
        pDX->m_pDlgWnd->SetItemText(id, value);
}

void DDX_Check(CDataExchange* pDX, int id, int& value) {
    if (pDX->m_bFailed) return;
    Prepare(pDX, id);
    if (pDX->m_bSaveAndValidate)
        value = pDX->m_pDlgWnd->IsChecked(id) ? 1 : 0;
    else
        pDX->m_pDlgWnd->SetCheck(id, value != 0);
}

void DDX_Radio(CDataExchange* pDX, int firstId, int& index) {
    if (pDX->m_bFailed) return;
    Prepare(pDX, firstId);
    const std::vector<int>& ids = pDX->m_pDlgWnd->RadioGroup(firstId);
    if (pDX->m_bSaveAndValidate) {
        index = -1;
        for (std::size_t i = 0; i < ids.size(); ++i)
            if (pDX->m_pDlgWnd->IsChecked(ids[i])) index = static_cast<int>(i);
    } else {
        for (std::size_t i = 0; i < ids.size(); ++i)
            pDX->m_pDlgWnd->SetCheck(ids[i], static_cast<int>(i) == index);
    }
}

void DDX_Slider(CDataExchange* pDX, int id, int& value) {
    if (pDX->m_bFailed) return;
    Prepare(pDX, id);
    auto* s = pDX->m_pDlgWnd->Item<QSlider>(id);
    if (!s) return;
    if (pDX->m_bSaveAndValidate)
        value = s->value();
    else
        s->setValue(value);
}

void DDV_MinMaxInt(CDataExchange* pDX, int value, int minVal, int maxVal) {
    if (pDX->m_bFailed || !pDX->m_bSaveAndValidate) return;
    if (value < minVal || value > maxVal) {
        AfxMessageBox(AfxTextRange(minVal, maxVal));
        pDX->Fail();
    }
}

void DDV_MinMaxUInt(CDataExchange* pDX, unsigned value, unsigned minVal, unsigned maxVal) {
    if (pDX->m_bFailed || !pDX->m_bSaveAndValidate) return;
    if (value < minVal || value > maxVal) {
        AfxMessageBox(AfxTextRange(minVal, maxVal));
        pDX->Fail();
    }
}

void DDV_MaxChars(CDataExchange* pDX, const QString& value, int maxChars) {
    if (pDX->m_bFailed) return;
    if (!pDX->m_bSaveAndValidate) {
        if (auto* e = pDX->m_pDlgWnd->Item<QLineEdit>(pDX->m_idLastControl))
            e->setMaxLength(maxChars);
        return;
    }
    if (value.size() > maxChars) {
        AfxMessageBox(AfxTextMaxChars(maxChars));
        pDX->Fail();
    }
}
