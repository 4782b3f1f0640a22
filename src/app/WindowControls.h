#pragma once

#include "pipeline/JobControls.h"

namespace App {

class Form1;

// The conversion job's view of the main window: the choices read from its
// controls, the file list, and the progress bar, pointer and message boxes
// the job shows itself through. Form1 stays the window only; this adapter
// reads its controls directly (it is Form1's friend) so that no accessor
// exists twice.
class WindowControls : public Pipeline::JobControls
{
public:
    explicit WindowControls(Form1 &window)
        : m_window(window)
    {
    }

    bool slowSelected() const override;
    bool movieSelected() const override;
    // PLAY only while the recorder's parts are there (Option6 enabled).
    bool playSelected() const override;
    int playHeight() const override;
    // The stored cap, which the window keeps without a control.
    double playSeconds() const override;
    QString playAssetsFolder() const override;
    QString slowText() const override;
    QString fastText() const override;
    int qualityValue() const override;
    int qualityMaximum() const override;
    bool eachFileSelected() const override;
    bool combineSelected() const override;
    bool saveToFolderSelected() const override;
    bool saveBesideSourceSelected() const override;
    // Text3 as the folder it means (see ResolveTypedFolder).
    QString folderText() const override;
    int fileCount() const override;
    QString fileAt(int position) const override;

    Tools::ProgressSink &progress() override;
    void setPointer(Pipeline::Pointer pointer) override;
    Pipeline::Pointer pointer() const override;
    void yield() override;
    void showMessage(const QString &text) override;
    // The summary box, with "Open Folder" when there is a folder to open.
    void showSummary(const QString &text, const QString &details, const QString &resultFolder) override;
    Tools::ErrorReporter &errorReporter() override;

private:
    Form1 &m_window;
};

} // namespace App
