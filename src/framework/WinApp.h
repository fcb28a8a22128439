#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "framework/CmdTarget.h"

class CDocument;
class CFrameWnd;

// Binds the one document class to its main window. The document string has seven parts
// separated by '\n': window title, document name, file-new name, filter name, filter
// extension, file type id, file type name.
class CSingleDocTemplate {
  public:
    enum DocStringIndex {
        windowTitle,
        docName,
        fileNewName,
        filterName,
        filterExt,
        regFileTypeId,
        regFileTypeName
    };
    using DocFactory = std::function<CDocument*()>;
    using FrameFactory = std::function<CFrameWnd*(CDocument*)>;

    CSingleDocTemplate(const QString& docString, DocFactory makeDoc, FrameFactory makeFrame);
    ~CSingleDocTemplate();
    QString GetDocString(DocStringIndex index) const;

    // Empty path: a new document. Creates the document and the main window the first time.
    // Returns null when cancelled or failed; a window created for the attempt is closed
    // again, and an existing document is left as it was.
    CDocument* OpenDocumentFile(const QString& path, bool addToMru = true);
    CDocument* GetDocument() const { return m_pDocument.get(); }
    CFrameWnd* GetFrame() const { return m_pFrame; }

  private:
    bool EnsureFrame(bool& created);
    void DestroyFrame();

    QStringList m_docStrings;
    DocFactory m_makeDoc;
    FrameFactory m_makeFrame;
    std::unique_ptr<CDocument> m_pDocument;
    CFrameWnd* m_pFrame = nullptr;
};

// The application object: commands that need no window, the profile and the recent files.
class CWinApp : public CCmdTarget {
  public:
    explicit CWinApp(const QString& appTitle);
    ~CWinApp() override;

    void AddDocTemplate(std::unique_ptr<CSingleDocTemplate> tmpl);
    CSingleDocTemplate* GetDocTemplate() const { return m_pTemplate.get(); }
    CDocument* GetDocument() const;
    // The template's main window; null before it exists.
    CFrameWnd* GetMainWnd() const { return m_pTemplate ? m_pTemplate->GetFrame() : nullptr; }

    void OnFileNew();
    void OnFileOpen();
    CDocument* OpenDocumentFile(const QString& path);

    // Profile (QSettings of the application).
    QString GetProfileString(const QString& section, const QString& entry,
                             const QString& defaultValue = QString()) const;
    void WriteProfileString(const QString& section, const QString& entry, const QString& value);
    int GetProfileInt(const QString& section, const QString& entry, int defaultValue) const;
    void WriteProfileInt(const QString& section, const QString& entry, int value);

    // Recent files: section "Recent File List", entries "File1".."FileN", newest first.
    void LoadStdProfileSettings(int maxMru = 4);
    void AddToRecentFileList(const QString& path);
    void RemoveFromRecentFileList(const QString& path);
    QStringList GetRecentFileList() const { return m_recentFiles; }
    std::function<void()> m_onRecentFilesChanged;

    QString m_strAppTitle;

  protected:
    // Closes the window and the document before members of a derived application go.
    void DestroyDocTemplate() { m_pTemplate.reset(); }

  private:
    void SaveRecentFiles();

    std::unique_ptr<CSingleDocTemplate> m_pTemplate;
    QStringList m_recentFiles;
    int m_nMaxMru = 0;
};

CWinApp* AfxGetApp();
