#pragma once
#include <Qt>
#include <cstdint>

// Maps a key event of the toolkit to the Windows virtual-key code that the keyboard port
// carries in bits 0..15. Shifted characters map to their unshifted key on a US layout
// (Shift+1 gives '1', 0x31), keypad digits (with Qt::KeypadModifier) to VK_NUMPAD0.. and the
// keypad operators; with NumLock off the keypad's keys give the navigation codes, as on
// Windows. Returns 0 for a key that has no code.
uint16_t WindowsVirtualKey(int qtKey, Qt::KeyboardModifiers modifiers);

class QKeyEvent;

// The keyboard port's word for a key press: its virtual-key code and the Shift, Alt and
// Ctrl bits. A modifier key counts as held in its own press, as Windows reports it (X11
// reports the modifiers from before the press).
uint64_t KeyPressWord(const QKeyEvent* event);
