// Test support: records the change and progress events of a picture as one line of text, and answers the
// progress event with Abort at a chosen step or with an exception.
#pragma once

#include "image-library/PGraphic.h"

#include <stdexcept>
#include <string>

struct TProgressLog {
    std::string Text;          // "S" start, "p<step>/<max>" progress, "E" end, "C" change
    int AbortAt = -1;          // the step whose progress event sets Abort
    int ThrowAt = -1;          // the step whose progress event throws std::runtime_error
    TObject* Sender = nullptr; // of the last start event

    explicit TProgressLog(TPixelGraphic& p) {
        p.SetOnProgressStart([this](TObject* sender) {
            Text += "S";
            Sender = sender;
        });
        p.SetOnProgressEnd([this](TObject*) { Text += "E"; });
        p.SetOnChange([this](TObject*) { Text += "C"; });
        p.SetOnProgress([this](TObject*, int step, int max, bool& abort) {
            Text.append("p").append(std::to_string(step)).append("/").append(std::to_string(max));
            if (step == ThrowAt)
                throw std::runtime_error("handler failed");
            abort = step == AbortAt;
        });
    }
};
