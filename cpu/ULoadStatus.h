#pragma once

#include <cstdint>

namespace roz {

// What TCCPUMemory::LoadImage and LoadBytes return. The values are the machine's contract
// (the runner's graders and the window's box rely on them), so they never change; a new
// reason gets a new value. Every switch over it is checked by -Werror=switch.
enum class TLoadStatus : int32_t {
    Done = 0,
    NoName = -1,     // the file name is empty
    Missing = -2,    // no such file
    Unreadable = -3, // cannot be opened or read (a directory included)
    Empty = -4,      // the image has no bytes
    TooLong = -5,    // the image is not shorter than memory
    NotRegular = -6, // a named pipe, a device or a socket
};

// The reason for a refused image as the user reads it: Runner is the runner's English
// line, Window the window's Chinese line followed by its English one.
struct TLoadStatusText {
    const char* Runner;
    const char* Window;
};

// The texts of one status; an unknown value (a status from a newer machine) gets a
// generic text rather than none, whose Window text holds "%1" where the window shows the
// status number.
constexpr TLoadStatusText LoadStatusText(TLoadStatus status) {
    switch (status) {
    case TLoadStatus::Done:
        return {"image loaded", "已载入\r\nLoaded"};
    case TLoadStatus::NoName:
        return {"no image file named", "文件名为空\r\nFile name is empty"};
    case TLoadStatus::Missing:
        return {"image file does not exist", "文件不存在\r\nFile does not exist"};
    case TLoadStatus::Unreadable:
        return {"image file cannot be read", "文件无法读取\r\nFile cannot be read"};
    case TLoadStatus::Empty:
        return {"image file is empty", "文件为空\r\nFile is empty"};
    case TLoadStatus::TooLong:
        return {"image file is not shorter than memory",
                "文件长度不小于内存大小\r\nFile is not shorter than memory"};
    case TLoadStatus::NotRegular:
        return {"image file is not a regular file", "不是普通文件\r\nNot a regular file"};
    }
    return {"image file refused", "未知错误 %1\r\nUnknown failure %1"};
}

constexpr TLoadStatus LoadStatusOf(int32_t status) {
    return static_cast<TLoadStatus>(status);
}

} // namespace roz
