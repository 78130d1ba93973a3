#include "UKeyMap.h"

#include <QKeyEvent>

#include "Ukeyboardport.h"

namespace {

struct TKeyPair {
    int Qt;
    uint16_t Vk;
};

// Keys whose code does not follow from the character (letters and digits do).
// clang-format off
constexpr TKeyPair Named[] = {
    {Qt::Key_Backspace, 0x08}, {Qt::Key_Tab, 0x09},      {Qt::Key_Backtab, 0x09},   {Qt::Key_Return, 0x0D},
    {Qt::Key_Enter, 0x0D},     {Qt::Key_Shift, 0x10},    {Qt::Key_Control, 0x11},   {Qt::Key_Alt, 0x12},
    {Qt::Key_AltGr, 0x12},     {Qt::Key_Pause, 0x13},    {Qt::Key_CapsLock, 0x14},  {Qt::Key_Escape, 0x1B},
    {Qt::Key_Space, 0x20},     {Qt::Key_PageUp, 0x21},   {Qt::Key_PageDown, 0x22},  {Qt::Key_End, 0x23},
    {Qt::Key_Home, 0x24},      {Qt::Key_Left, 0x25},     {Qt::Key_Up, 0x26},        {Qt::Key_Right, 0x27},
    {Qt::Key_Down, 0x28},      {Qt::Key_Print, 0x2C},    {Qt::Key_Insert, 0x2D},    {Qt::Key_Delete, 0x2E},
    {Qt::Key_Menu, 0x5D},      {Qt::Key_NumLock, 0x90},  {Qt::Key_ScrollLock, 0x91},
    // Punctuation keys, unshifted and shifted (US layout).
    {Qt::Key_Semicolon, 0xBA}, {Qt::Key_Colon, 0xBA},    {Qt::Key_Equal, 0xBB},     {Qt::Key_Plus, 0xBB},
    {Qt::Key_Comma, 0xBC},     {Qt::Key_Less, 0xBC},     {Qt::Key_Minus, 0xBD},     {Qt::Key_Underscore, 0xBD},
    {Qt::Key_Period, 0xBE},    {Qt::Key_Greater, 0xBE},  {Qt::Key_Slash, 0xBF},     {Qt::Key_Question, 0xBF},
    {Qt::Key_QuoteLeft, 0xC0}, {Qt::Key_AsciiTilde, 0xC0}, {Qt::Key_BracketLeft, 0xDB}, {Qt::Key_BraceLeft, 0xDB},
    {Qt::Key_Backslash, 0xDC}, {Qt::Key_Bar, 0xDC},      {Qt::Key_BracketRight, 0xDD}, {Qt::Key_BraceRight, 0xDD},
    {Qt::Key_Apostrophe, 0xDE}, {Qt::Key_QuoteDbl, 0xDE},
    // Shifted digits.
    {Qt::Key_Exclam, 0x31},    {Qt::Key_At, 0x32},       {Qt::Key_NumberSign, 0x33}, {Qt::Key_Dollar, 0x34},
    {Qt::Key_Percent, 0x35},   {Qt::Key_AsciiCircum, 0x36}, {Qt::Key_Ampersand, 0x37}, {Qt::Key_Asterisk, 0x38},
    {Qt::Key_ParenLeft, 0x39}, {Qt::Key_ParenRight, 0x30},
};
// clang-format on

// Keypad keys (reported with Qt::KeypadModifier).
// clang-format off
constexpr TKeyPair Keypad[] = {
    {Qt::Key_Asterisk, 0x6A}, {Qt::Key_Plus, 0x6B}, {Qt::Key_Comma, 0x6C}, {Qt::Key_Minus, 0x6D},
    {Qt::Key_Period, 0x6E},   {Qt::Key_Slash, 0x6F}, {Qt::Key_Enter, 0x0D},
    // With NumLock off the keypad's digit keys are navigation keys and keep those codes
    // (found in Named below), except the middle one.
    {Qt::Key_Clear, 0x0C},
};
// clang-format on

uint16_t Find(const TKeyPair* begin, const TKeyPair* end, int key) {
    for (const TKeyPair* p = begin; p != end; ++p)
        if (p->Qt == key) return p->Vk;
    return 0;
}

} // namespace

uint16_t WindowsVirtualKey(int qtKey, Qt::KeyboardModifiers modifiers) {
    if (modifiers & Qt::KeypadModifier) {
        if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
            return static_cast<uint16_t>(0x60 + (qtKey - Qt::Key_0));
        if (const uint16_t vk = Find(std::begin(Keypad), std::end(Keypad), qtKey)) return vk;
    }
    if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9))
        return static_cast<uint16_t>(qtKey); // Qt's codes for these are their upper-case ASCII
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return static_cast<uint16_t>(0x70 + (qtKey - Qt::Key_F1));
    return Find(std::begin(Named), std::end(Named), qtKey);
}

uint64_t KeyPressWord(const QKeyEvent* event) {
    Qt::KeyboardModifiers modifiers = event->modifiers();
    switch (event->key()) {
    case Qt::Key_Shift:
        modifiers |= Qt::ShiftModifier;
        break;
    case Qt::Key_Control:
        modifiers |= Qt::ControlModifier;
        break;
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
        modifiers |= Qt::AltModifier;
        break;
    default:
        break;
    }
    return TKeyboardPort::KeyWord(WindowsVirtualKey(event->key(), modifiers), modifiers & Qt::ShiftModifier,
                                  modifiers & Qt::AltModifier, modifiers & Qt::ControlModifier);
}
