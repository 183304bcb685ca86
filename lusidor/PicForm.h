// The navigator model (pictures, their infections, their probes, each mirrored by a node of the navigator
// tree) and TPictForm, the MDI child that shows one picture, or the live video picture in camera mode.
#pragma once

#include "framework/Controls.h"
#include "framework/Geometry.h"
#include "framework/Object.h"
#include "ui_PicForm.h"

#include <QPointer>
#include <QString>
#include <QTreeWidgetItem>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

class QMdiArea;
class QMdiSubWindow;
class QTreeWidget;
class TBinaryDataSet;
class TForm1;
class TPGImage;
class TPictForm;
class TPixelGraphic;

class TBase;
class TPict;
class TInfection;
class TProbe;

// A navigator node: it points back at the model object that owns it.
class TNodeItem : public QTreeWidgetItem {
public:
    TNodeItem(TObject* Data, const QString& Text);
    // Its depth in the tree: 0 a picture, 1 an infection, 2 a probe.
    int Level() const;

    TObject* const Data;
};

// The model object behind a navigator node, or null for a node that is not ours.
TObject* NodeData(const QTreeWidgetItem* Node);

// The picture a node belongs to: its own, its infection's or its probe's infection's; null for no node.
TPict* PictOfNode(const QTreeWidgetItem* Node);

// The root of the model: every opened picture, in memory only.
class TBase : public TObject {
public:
    // Nodes is the navigator tree and Windows the area that holds the picture windows; both must outlive
    // the model. DataSet is kept for the main window and never used.
    TBase(TBinaryDataSet& DataSet, QTreeWidget& Nodes, QMdiArea& Windows);
    ~TBase() override;
    TBase(const TBase&) = delete;
    TBase& operator=(const TBase&) = delete;

    // Exact, case-sensitive; -1 when absent.
    int IndexOf(const QString& FileName) const;
    // The picture of that name, or a new one with its node and window (the window loads the file, and a
    // file that cannot be loaded leaves nothing behind and passes the exception on).
    TPict* FindOrAddPict(const QString& FileName);
    TPict* Items(int Index) const { return Picts[size_t(Index)].get(); }
    int Count() const { return int(Picts.size()); }
    // Destroys Pict with everything under it, its node and its window.
    void Delete(TPict* Pict);

    std::vector<std::unique_ptr<TPict>> Picts;
    TBinaryDataSet& DataSet;
    QTreeWidget& Nodes;
    QMdiArea& Windows;
    // The folder pictures are opened from, ending in "/".
    QString ImageFolder;
    // Told about every node just before the model deletes it.
    std::function<void(QTreeWidgetItem* Node)> OnNodeDestroyed;

private:
    friend class TPict;
    friend class TInfection;
    friend class TProbe;
    void DeleteNode(TNodeItem*& Node);
};

// One opened picture and its window.
class TPict : public TObject {
public:
    // Adds and selects the root node, opens the window and shows the file; raises when it cannot be loaded,
    // leaving no node and no window.
    TPict(const QString& FileName, TBase* Base);
    ~TPict() override;
    TPict(const TPict&) = delete;
    TPict& operator=(const TPict&) = delete;

    // Loads ImageFolder + FileName into the window, fits the window to the picture and sets its caption.
    void Show(const QString& FileName);
    // Opens a new window when the picture has none, then shows the picture in it.
    void Reopen();

    int IndexOfInfection(const QString& Name) const;
    TInfection* FindOrAddInfection(const QString& Name);
    TInfection* InfectionsAt(int Index) const { return Infections[size_t(Index)].get(); }
    int InfectionCount() const { return int(Infections.size()); }
    void Delete(TInfection* Infection);

    std::vector<std::unique_ptr<TInfection>> Infections;
    QString FileName;
    QPointer<TPictForm> Form; // null while the picture has no window
    TBase* const Base;
    TNodeItem* Node = nullptr;

private:
    void OpenWindow();
    // Shows the file with the window's update lock released on every way out.
    void ShowUnlocking();
    // Detaches the window, which then never writes into this record, and closes it: with Now it is gone at
    // once, else it goes later as after the user's close.
    void CloseWindow(bool Now);
};

// One infection under a picture.
class TInfection : public TObject {
public:
    TInfection(const QString& Name, TPict* Pict);
    ~TInfection() override;
    TInfection(const TInfection&) = delete;
    TInfection& operator=(const TInfection&) = delete;

    void SetName(const QString& Value);
    int IndexOfProbe(const QString& Name) const;
    TProbe* FindOrAddProbe(const QString& Name);
    // FindOrAddProbe, which then becomes the infection's standard.
    TProbe* AddStandard(const QString& Name);
    TProbe* ProbesAt(int Index) const { return Probes[size_t(Index)].get(); }
    int ProbeCount() const { return int(Probes.size()); }
    // Destroys Probe; when it was the standard, the infection has none afterwards.
    void Delete(TProbe* Probe);

    std::vector<std::unique_ptr<TProbe>> Probes;
    TPict* const Pict;
    QString Name;
    TNodeItem* Node = nullptr;
    TProbe* Standard = nullptr; // one of Probes, or null
};

// One measured standard or sample.
class TProbe : public TObject {
public:
    TProbe(const QString& Name, TInfection* Infection);
    ~TProbe() override;
    TProbe(const TProbe&) = delete;
    TProbe& operator=(const TProbe&) = delete;

    // A standard's name begins with the Latin capital E; every other probe is a sample.
    static bool IsStandardName(const QString& Name);

    void SetName(const QString& Value);
    void SetRect(const TRect& Value) { Rect = Value; }
    void SetSupplier(const QString& Value) { Supplier = Value; }
    void SetPatient(const QString& Value) { Patient = Value; }
    void SetNote(const QString& Value) { Note = Value; }
    void SetThreshold(uint8_t Value) { Threshold = Value; }
    void SetLuminosity(uint8_t Value) { Luminosity = Value; }
    void SetDate(double Value) { Date = Value; }
    void SetTime(double Value) { Time = Value; }
    void SetValue(int64_t Sum) { Value = Sum; }
    void SetReaction(const QString& Value) { Reaction = Value; }

    TInfection* const Infection;
    QString Name;
    TRect Rect; // picture coordinates, Right and Bottom exclusive
    TNodeItem* Node = nullptr;
    QString Supplier;
    QString Patient;
    QString Note;
    uint8_t Threshold = 0;
    uint8_t Luminosity = 0; // the most frequent luminance level
    double Date = 0;        // the framework's date-time
    double Time = 0;
    int64_t Value = 0; // the measured sum, which passes 2^31 on large regions
    QString Reaction;  // empty or "?"
};

// The mouse state that all picture windows share: a left press in one window and what followed it.
struct TPictMouseState {
    int32_t PressX = 0; // picture coordinates of the last left press
    int32_t PressY = 0;
    bool Pressed = false;       // a left press not yet released
    bool Dragged = false;       // the mouse moved with the left button held since that press
    bool JustActivated = false; // a window was just activated: the next move is no drag
};
extern TPictMouseState PictMouse;

// Paint-box coordinates to picture coordinates: divided by the viewer's ZoomFactor (a zoom that is not a
// finite number above 0 counts as 1) and rounded halves to even, held to the 32-bit range. A point outside
// the picture stays outside.
TPoint PictureCoordinates(const TPGImage& Image, int X, int Y);

class TPictForm : public QWidget, public Ui::TPictForm {
    Q_OBJECT
public:
    // The video window's tag; picture windows keep 0.
    static constexpr int VideoTag = -1;
    // What one step of the main window's progress bar moves it by.
    static constexpr int ProgressBarStep = 5;

    explicit TPictForm(QWidget* parent = nullptr);
    ~TPictForm() override;

    // A picture window as an MDI child of Area, freed when closed; created with its updates locked.
    static TPictForm* CreateChild(QMdiArea& Area);

    void SaveScroll();
    void RestoreScroll();
    // Back to KeptGraphic, keeping the scroll position; clears Modified.
    void Undo();
    // KeptGraphic := a copy of the picture shown now.
    void KeepPicture();
    // Loads the file as a 24-bit picture and keeps it; a failed load raises and leaves the window empty.
    void LoadImageFile(const QString& FileName);
    // Before an image command: a measured picture loses its marks (Undo), else the picture is kept.
    void PreparePicture();
    // The measured marks go: Measured is cleared and the kept picture comes back.
    void DropMeasurement();
    // The window shows a picture: not so for one whose load failed.
    bool HasPicture() const;
    // Sets the window's client area, as far as the window is in its normal state.
    void SetClientSize(int64_t Width, int64_t Height);

    // The form's handlers.
    void FormActivate();
    void PGImage1ZoomFactorChange();
    void PGImage1PixelGraphicProgress(int Step, int Max);
    void PGImage1PixelGraphicProgressEnd();
    void PGImage1PicBoxOnMouseDown(TMouseButton Button, int X, int Y);
    void PGImage1PicBoxOnMouseMove(TShiftState Shift, int X, int Y);
    void PGImage1PicBoxOnMouseUp(TMouseButton Button, int X, int Y);

    // The main window this picture window lives in, or null while it has none.
    TForm1* MainForm() const;
    QMdiSubWindow* SubWindow() const;

    TPict* Pict = nullptr; // its navigator record; none for the video window and after the record went
    bool Measured = false; // the picture carries a measurement's marks
    int32_t ScrollX = 0;
    int32_t ScrollY = 0;
    bool Modified = false;                      // an image command changed the picture since the last Undo
    std::unique_ptr<TPixelGraphic> KeptGraphic; // what Undo restores
    bool ShowProgress = false;                  // the load progress moves the main window's progress bar
    int Tag = 0;

protected:
    void closeEvent(QCloseEvent* Event) override;

private:
    void FormCreate();
    void FormClose();
    void FormDestroy();
    // No other window of Area is shown.
    bool OnlyChild(const QMdiArea& Area) const;
};
