#pragma once

#include "Failure.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

// The helper programs a conversion runs, written into the program's private
// WorkFolder from its embedded resources, and the folder layout they work in:
//
//     WorkFolder/swfextract   our SWF extractor (resource 107)
//     WorkFolder/nconvert     our picture converter (resource 105)
//     WorkFolder/ffmpeg       symbolic link to the system's encoder
//     WorkFolder/temp/        the numbered frames, the sound files
//     WorkFolder/SWFPic/      the pictures extracted from a SWF
namespace Tools {

// Numbers of the program's embedded resources.
enum class ResourceId : int {
    EndFrameBitmap = 104, // black 128 x 128 bitmap, 8 bits per pixel
    Converter = 105, // nconvert
    Extractor = 107, // swfextract
};

// Failure numbers raised here.
inline constexpr int kFileAccessFailure = FailureNumber::PathFileAccess;
inline constexpr int kResourceMissingFailure = FailureNumber::ResourceNotFound;
inline constexpr int kEncoderMissingFailure = FailureNumber::FileNotFound; // the encoder is not installed

// Shown when no encoder is installed; names the package that provides it.
inline constexpr char kEncoderMissingMessage[] =
    "The video encoder \"ffmpeg\" was not found. Please install the Debian package \"ffmpeg\" "
    "(sudo apt install ffmpeg) and start again.";

// The bytes of an embedded resource. The programs that deploy the tools link
// them in (tarnwick_link_embedded_tools); tests register the built copies.
// Raises Failure 326 when the program holds no such resource.
QByteArray LoadResource(ResourceId id);

// Owns a private folder (mode 0700, named tarnwick-XXXXXX) under TMPDIR, or
// /tmp when TMPDIR is unset, and removes it with everything in it when
// destroyed. Symbolic links inside are removed, never followed.
class WorkFolderOwner
{
public:
    // Creates the folder under `parent` (the system temp location when
    // empty). Raises Failure 75 when it cannot be created or when `parent`
    // is open to others (ScratchParentProblem).
    explicit WorkFolderOwner(const QString &parent = QString());
    ~WorkFolderOwner();
    WorkFolderOwner(const WorkFolderOwner &) = delete;
    WorkFolderOwner &operator=(const WorkFolderOwner &) = delete;

    // The folder's absolute path, without a trailing '/'.
    const QString &path() const { return m_path; }

private:
    QString m_path;
};

// Why `parent` cannot hold a private WorkFolder: empty when it can; a
// folder others may write into without the sticky bit is refused (they could
// rename the WorkFolder away and put their own tools in its place). `name`
// is how the message calls it ("TMPDIR").
QString ScratchParentProblem(const QString &parent, const QString &name = QStringLiteral("TMPDIR"));

// Why `folder` is not private: empty when it is a folder (no symbolic link)
// owned by this user with mode 0700.
QString WorkFolderProblem(const QString &folder);

// The program's WorkFolder: created on first use, removed when the program
// ends. Raises Failure 75 when it cannot be created.
QString WorkFolder();

// "64" on a 64-bit system, "32" on a 32-bit one.
QString ProcessorAddressWidth();

// Yields to the event loop once; then writes the bytes to a new file at
// `path` unless something already exists there. A tool is written with its
// run bit. Raises Failure 75 when the file cannot be written; a file that
// could not be written completely is removed again.
void WriteBytesIfAbsent(const QByteArray &bytes, const QString &path, bool executable = false);

// The absolute path of the system's ffmpeg found on PATH (or in
// `searchPaths` when given); empty when there is none. The one place that
// looks for it: every part that runs ffmpeg takes it from here.
QString LocateFfmpeg(const QStringList &searchPaths = QStringList());

// The tool paths a conversion runs. Programs are started with argument
// lists, so they are kept as plain paths, never quoted.
struct ToolSet
{
    QString ExtractorCmd; // WorkFolder/swfextract
    QString EncoderCmd; // WorkFolder/ffmpeg
    QString ConverterCmd; // WorkFolder/nconvert
    QString AddressWidth; // ProcessorAddressWidth() at deployment
};

using ResourceLoader = std::function<QByteArray(ResourceId)>;

// Deploys the tools into `workFolder` and prepares the `temp` and `SWFPic`
// folders, emptied of "*.jpg". `encoder` is the system's ffmpeg as
// LocateFfmpeg found it; when it is empty, Failure 53 with
// kEncoderMissingMessage is raised before any file is touched. Resources are
// loaded before anything is written, so a missing one (Failure 326) leaves
// the folder as it was. A tool already present is kept unchanged. Raises
// Failure 75 when a file or folder cannot be written.
ToolSet DeployTools(const QString &workFolder, const QString &encoder,
                    const ResourceLoader &loadResource = LoadResource);

// DeployTools into the program's WorkFolder with the encoder found on PATH.
ToolSet DeployTools();

} // namespace Tools
