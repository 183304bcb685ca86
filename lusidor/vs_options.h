// State of the camera window that other windows read: the grab loops' busy flag and the stop request.
#pragma once

// True while "Пуск" or "Цикл" runs; the main window then keeps mode changes and picture commands off.
extern bool CameraBusy;
// Set by "Стоп" and at program exit; ends a running "Цикл".
extern bool CameraStop;
