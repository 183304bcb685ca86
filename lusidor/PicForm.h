// TPictForm: the MDI child that shows one picture, or the live video picture in camera mode.
#pragma once

#include "ui_PicForm.h"

#include <QWidget>
#include <memory>

class TPict;
class TPixelGraphic;

class TPictForm : public QWidget, public Ui::TPictForm {
    Q_OBJECT
public:
    // The video window's tag; picture windows keep 0.
    static constexpr int VideoTag = -1;

    explicit TPictForm(QWidget* parent = nullptr);
    ~TPictForm() override;

    TPict* Pict = nullptr; // its navigator record; none for the video window
    bool Measured = false; // the picture carries a measurement's marks
    int32_t ScrollX = 0;
    int32_t ScrollY = 0;
    bool Modified = false;                      // an image command changed the picture since the last Undo
    std::unique_ptr<TPixelGraphic> KeptGraphic; // what Undo restores
    bool ShowProgress = false;                  // the load progress moves the main window's progress bar
    int Tag = 0;
};
