#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

#include "framework/Ui.h"

// Test double of the UI service: records every message box, dialog and file request, and
// answers from scripts. Installs itself for its lifetime.
class CScriptedUi : public CUiService {
  public:
    struct Message {
        QString text;
        QString caption;
        unsigned type;
    };
    using DialogScript = std::function<void(CDialog&)>;

    CScriptedUi();
    ~CScriptedUi() override;

    int MessageBox(const QString& text, const QString& caption, unsigned type) override;
    int DoModal(CDialog& dialog) override;
    QString FileDialog(const FileDialogRequest& request) override;
    QString DirectoryDialog(const QString& title, const QString& startDir) override;

    // Answers for message boxes, in order. Without one, an OK box answers IDOK and any
    // other box IDCANCEL (IDNO for Yes/No), and the miss is counted.
    std::deque<int> m_answers;
    // Scripts for modal dialogs, in order: each fills fields and presses buttons. A dialog
    // that is still open after its script (or without one) ends with IDCANCEL.
    std::deque<DialogScript> m_dialogScripts;
    // Answers for file and directory dialogs; empty string means Cancel.
    std::deque<QString> m_fileAnswers;

    std::vector<Message> m_messages;
    QStringList m_dialogTitles;
    std::vector<FileDialogRequest> m_fileRequests;
    int m_nUnscripted = 0;

    QStringList Texts() const;
    void Clear();

  private:
    CUiService* m_pPrevious;
};
