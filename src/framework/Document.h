#pragma once

#include <QString>
#include <functional>
#include <vector>

#include "framework/CmdTarget.h"

class CArchive;
class CView;

// What the document's file type is called in dialogs.
struct CDocFileType {
    QString filterName;  // e.g. "Lumvane Animation Files (*.anm)"
    QString defaultExt;  // e.g. ".anm"
};

// Document base: modified flag, path name, title, views, and open/save around Serialize.
class CDocument : public CCmdTarget {
  public:
    CDocument();
    ~CDocument() override;

    bool OnCmdMsg(int id, CmdPhase phase, CCmdUI* pCmdUI) override;

    void SetModifiedFlag(bool modified = true) { m_bModified = modified; }
    bool IsModified() const { return m_bModified; }
    const QString& GetPathName() const { return m_strPathName; }
    // Records the path and makes its file name (without extension) the title.
    virtual void SetPathName(const QString& path, bool addToMru = true);
    void ClearPathName() { m_strPathName.clear(); }
    const QString& GetTitle() const { return m_strTitle; }
    virtual void SetTitle(const QString& title);
    static QString DefaultTitle() { return QStringLiteral("Untitled"); }

    void AddView(CView* view);
    void RemoveView(CView* view);
    const std::vector<CView*>& GetViews() const { return m_views; }
    void UpdateAllViews(CView* sender, int hint = 0, void* pHint = nullptr);

    virtual void Serialize(CArchive& /*ar*/) {}
    virtual void DeleteContents() {}
    // The framework's own new-document step: clears the contents, path and modified flag.
    virtual int OnNewDocument();
    // Reads the file through Serialize. Returns 1, or 0 after reporting the failure; on
    // failure the document's path, title and modified flag are as they were.
    virtual int OnOpenDocument(const QString& path);
    // Writes the file through Serialize into a temporary file that replaces the old one only
    // when complete. Returns 1, or 0 after reporting the failure.
    virtual int OnSaveDocument(const QString& path);
    // Asks "Save changes to %1?" for a modified document; false when the user cancels.
    virtual bool SaveModified();
    bool DoFileSave();
    // Save As when path is empty; replace records the new path.
    bool DoSave(const QString& path, bool replace = true);

    // Called when the unsaved changes are saved or given up: after a successful save, the new
    // step, a successful open (Revert too) and "No" to "Save changes to %1?".
    std::function<void()> m_onChangesSavedOrDropped;

    static void SetFileType(const CDocFileType& type) { s_fileType = type; }
    static const CDocFileType& FileType() { return s_fileType; }
    static QString OpenFilter();

  private:
    void ChangesSavedOrDropped() {
        if (m_onChangesSavedOrDropped) m_onChangesSavedOrDropped();
    }

    static CDocFileType s_fileType;
    bool m_bModified = false;
    QString m_strPathName;
    QString m_strTitle;
    std::vector<CView*> m_views;
};

// Texts of the open and save paths; "%1" takes the file name.
QString AfxTextFileNotFound(const QString& path);
QString AfxTextAccessDenied(const QString& path);
QString AfxTextDiskFull(const QString& path);
QString AfxTextNoMemory(const QString& path);
