// Small types that the picture and its users share.
#pragma once

#include "framework/Object.h"

#include <QObject>
#include <cstdint>
#include <functional>

// The enumerations live in a namespace that Qt's meta-object system knows, so that forms set the viewer's
// properties of these types by name; the using-declarations keep them global.
namespace PGTypes {
Q_NAMESPACE

// The kind of a picture's colour table. The last two are requests to the viewer, never a picture's table.
enum TPaletteIdent : uint8_t {
    pNone,
    pTrueColor,
    pUnknown,
    pBlackWhite,
    pSysGray4,
    pSys16,
    pGray4,
    pGray16,
    pGray236,
    pGray256,
    pSpecial125,
    pSpecial216,
    pSpecial252,
    pOptimized252Sys16,
    pSource
};

// What a reader or writer does with a problem it can live with.
enum TPGWarningAction : uint8_t { pgwaIgnore, pgwaOKBox, pgwaOKCancelBox, pgwaRaise };

enum TStretchMode : uint8_t { smFast, smMedium, smPrecise };

Q_ENUM_NS(TPaletteIdent)
Q_ENUM_NS(TPGWarningAction)
Q_ENUM_NS(TStretchMode)
} // namespace PGTypes
using PGTypes::TPaletteIdent;
using PGTypes::TPGWarningAction;
using PGTypes::TStretchMode;
using enum PGTypes::TPaletteIdent;
using enum PGTypes::TPGWarningAction;
using enum PGTypes::TStretchMode;

using TNotifyEvent = std::function<void(TObject* Sender)>;
// Fired after each unit of a long operation; setting Abort stops the operation after that step.
using TPGProgressEvent = std::function<void(TObject* Sender, int Step, int Max, bool& Abort)>;
