#pragma once
#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

class QProcess;

// Builds a C or assembly source into a code image with the toolchain's programs, run as a
// subprocess so that the window never waits for a compiler: "prog.c" with roziduv2-cc,
// "prog.s" (or .asm) with roziduv2-asm, into "prog.bin" and "prog.dbg" beside the source.
//
// The programs are looked for in this order (FindTool):
//   1. the folder of the window's executable (an installed tree's bin/);
//   2. the build tree's program folders beside it (../asm, ../cc from app/);
//   3. the folder the build installs programs into (CMAKE_INSTALL_PREFIX/bin).
//
// Window's thread only; one build at a time. Finished is emitted once per Start, also when
// the build could not start or was cancelled.
class TSourceBuild : public QObject {
    Q_OBJECT
  public:
    // One line of the tool's report. A diagnostic ("FILE:LINE:COL: error: text") has its
    // place; any other line (a tool's own complaint) has Line 0. Detail holds the lines
    // that follow a diagnostic (clang's source line and caret).
    struct TMessage {
        QString File;
        int Line = 0, Column = 0;
        QString Severity; // "error", "warning", "note", "fatal error"; "" for a plain line
        QString Text;     // the whole line as the tool wrote it
        QString Detail;
    };
    // Splits a tool's output into messages; blank lines are dropped.
    static std::vector<TMessage> ParseMessages(const QString& output);

    // Where name is found from the folder appDir (the rules above); empty when nowhere.
    // looked, if given, receives every path that was tried.
    static QString FindTool(const QString& name, const QString& appDir, QStringList* looked = nullptr);

    explicit TSourceBuild(QObject* parent = nullptr);
    ~TSourceBuild() override;

    // Starts building source for a machine of memorySize bytes (handed to the C compiler so
    // that the program's stack and heap use that memory). False, with Finished already
    // queued, when the build cannot start (a build already running: nothing is emitted).
    bool Start(const QString& source, int64_t memorySize);
    // Ends a running build: the tool and its children are killed; Finished follows.
    void Cancel();
    bool Running() const { return FProcess != nullptr; }

    // The folder the programs are looked for from; the executable's folder by default.
    QString AppDir;

    // The image a source builds into: its path with the extension replaced by ".bin".
    static QString ImagePathOf(const QString& source);

  signals:
    // ok: the image (and its debug information) was written. messages: the tool's report
    // (warnings on success), or why it could not run.
    void Finished(bool ok, const QString& source, const QString& image,
                  const std::vector<TMessage>& messages);

  private:
    void Done(bool ok, std::vector<TMessage> messages);

    QProcess* FProcess = nullptr;
    QString FSource, FImage;
    bool FCancelled = false;
};
