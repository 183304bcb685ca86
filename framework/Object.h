// The common root of the system's objects, so that an event can name its sender whatever class it is.
#pragma once

class TObject {
public:
    virtual ~TObject() = default;
};
