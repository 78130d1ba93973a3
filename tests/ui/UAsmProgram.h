// An assembled program on disk as a user of the assembler has it: name.s, name.bin and
// name.dbg (with the source's path) in a folder, for the window to open.
#pragma once
#include <QString>
#include <QTemporaryDir>
#include <fstream>
#include <string>

#include "UAsmDebugInfo.h"
#include "UAssembler.h"

struct TAsmProgramFiles {
    QString Image;
    std::string DebugInfoError; // the .dbg write's error, empty when it was written
};

inline TAsmProgramFiles WriteAsmProgram(const QTemporaryDir& folder, const QString& name, const char* text) {
    const QString source = folder.filePath(name + ".s"), image = folder.filePath(name + ".bin");
    std::ofstream(source.toStdString()) << text;
    const TAsmResult result = TAssembler().Assemble(text);
    std::ofstream(image.toStdString(), std::ios::binary)
        .write(reinterpret_cast<const char*>(result.Image.data()),
               static_cast<std::streamsize>(result.Image.size()));
    TDebugInfo info = TAsmDebugInfo::Make(result, source.toStdString(), true);
    info.SetImage(image.toStdString(), result.Image);
    return {image, info.Write(TDebugInfo::PathFor(image.toStdString()))};
}
