// TForm1: the acquisition program's main window with its MDI area, navigator panel, status panels and menus,
// the three working modes and the settings file read at start and written at exit.
#pragma once

#include "CommonBaseWriter.h"
#include "Measurement.h"
#include "binary-dataset/bindata.h"
#include "framework/AddressReservation.h"
#include "framework/Colors.h"
#include "framework/Geometry.h"
#include "image-library/widgets/PGFileDialogs.h"
#include "image-library/widgets/PGFilterDialogs.h"
#include "ui_Main.h"
#include "vs_drv.h"

#include <QMainWindow>
#include <QPointer>
#include <QPrinter>
#include <QTimer>
#include <map>
#include <memory>
#include <optional>

class QMdiSubWindow;
class QTreeWidgetItem;
class TBase;
class TPictForm;
class TPGFilter;
class TPixelGraphic;
class TVs_optionsFrame;

// The library texts the program needs in its own language, set before any window exists.
void MainUnitStart();

class TForm1 : public QMainWindow, public Ui::TForm1 {
    Q_OBJECT
public:
    static constexpr int ImageProcessingMode = 0;
    static constexpr int CameraMode = 1;
    static constexpr int SpecialMode = 2;
    // Address space kept for the measurement mask.
    static constexpr size_t MaskReservationSize = 4'000'000;

    // ProgramFolder ends in "/"; the settings file "Lusidor.ini" must be there.
    explicit TForm1(const QString& ProgramFolder, QWidget* parent = nullptr);
    ~TForm1() override;

    void SetMode(int Index);
    void UpdateMenuItems();
    void ShowError(const QString& Text, bool Terminate);
    void CurrentGraphic();
    static QString FormatReal(int Width, int Decimals, double Value);
    // The splash window has closed: in camera mode the camera window appears now.
    void SplashClosed();

    // Handlers bound to the form's own events and components.
    void FormActivate();
    void Timer1Timer();
    void AppEvents1Hint(const QString& Hint);
    void N1Click();
    void N12Click();
    void N59Click();

    // "Открыть...": the open dialog, then OpenImageFile with the chosen file.
    void OpenImage();
    // Opens a picture of the image folder into the navigator, or offers to bring back one opened before.
    void OpenImageFile(const QString& FileName);

    // Calls of the picture windows and of the navigator model into the measurement, the chart and the
    // navigator's events.
    // The model is about to delete Node: nothing may keep it after this.
    void NodeDestroyed(QTreeWidgetItem* Node);
    // The status panels show picture point (X, Y) and the colour there.
    void StatusCoordinates(int X, int Y, TColor Color);
    // Sets the threshold from the profile at paint-box point (X, Y) and shows it in the entry form's
    // threshold box.
    void AutoThreshold(int X, int Y);
    // The measurement at picture point (X, Y) of the active picture window.
    void PGImage1PicBoxOnMouseDown(Qt::MouseButton Button, int X, int Y);
    // R as the viewer's GetSelectionRect gives it.
    void SelectionHistogram(const TRect& R);
    void SumRect(const TRect& R);
    void LineProfile();
    // Every series of the chart window's chart is emptied, when the chart window exists.
    void ClearChart();
    // The property list shows Node's probe, or empty values for a picture or infection node; nothing
    // changes without a node.
    void ShowProbeProperties(const QTreeWidgetItem* Node);

    // MDI children in the order the user last used them: the active one first.
    QList<QMdiSubWindow*> MdiChildren() const;
    TPictForm* ActiveChild() const;
    TPictForm* VideoWindow() const;
    // Activates Window and scrolls the work area until it is in view, or where it is larger than the area
    // until it fills the area from its title bar and left edge: a window the program brings up for the user
    // is never left out of sight.
    void ShowChild(QMdiSubWindow* Window);

    const QString ProgramFolder;
    const QString SettingsPath;
    QString ImageFolder;
    // The common database's folder, ending in "/": [DataBase] Folder, absolute or from the program folder,
    // else the program folder itself.
    QString DataBaseFolder;
    // What "Добавить в общую БД" has added in this session, made at its first use.
    std::optional<TCommonBaseWriter> CommonBase;
    QString HelpFolder;
    int Mode = ImageProcessingMode;
    bool MenuUpdateOn = false;
    bool FirstActivationDone = false;
    bool BoardConfigured = false;
    TPixelGraphic* CurrentPicture = nullptr;
    std::unique_ptr<TAddressReservation> MaskReservation;
    bool MaskReservationFailed = false;
    TMeasurementState Measurement;

    // Other windows of the program, each created elsewhere; null while absent.
    QPointer<QWidget> SplashWindow;
    QPointer<QWidget> ChartWindow;
    QPointer<QWidget> EntryForm;
    QPointer<QWidget> CameraWindow;

    // The small windows' commands and the line profile (MainForms.cpp).
    void N11Click();
    void N56Click();
    void N58Click();
    void N62Click();
    // The file name, without folder, of the active picture window's picture: the chart's title line.
    QString ChartTitle() const;
    QPointer<QWidget> ExportWindow; // the chart export window, made at start-up

    TBinaryDataSet BinaryDataSet1; // handed to the navigator model, never opened
    TPGOpenDialog PGOpenDialog1;
    // The navigator model, from start-up until the window closes.
    std::unique_ptr<TBase> Base;
    QTimer Timer1; // closes the splash window

    // The commands of the menus and the navigator (MainCommands.cpp, NavigatorTree.cpp).
    void N2Click();
    void N3Click();
    void N36Click();
    void N29Click();
    void N15Click();
    void N5Click();
    // Adds every probe of the navigator to the common database (MainDataBase.cpp).
    void N9Click();
    void N13Click();
    void N14Click();
    void N6Click();
    void N31Click();
    void N32Click();
    void N34Click();
    void N25Click();
    void N7Click();
    void N24Click();
    void N18Click();
    void N17Click();
    void N20Click();
    void N21Click();
    void N22Click();
    void N47Click();
    void N48Click();
    void N51Click();
    void N23Click();
    void N27Click();
    void N38Click();
    void N41Click();
    void N46Click();
    void N40Click();
    void N42Click();
    void N44Click();
    void N45Click();
    void N26Popup();
    void N60Click();
    void N53Click();
    void N52Click();
    void N35Click();
    void PopupMenu1Popup();
    void TreeView1Change(QTreeWidgetItem* Node);
    bool TreeView1Editing(const QTreeWidgetItem* Node) const;
    void TreeView1Edited(QTreeWidgetItem* Node, QString Text);
    // Shows PopupMenu1 for the context node with its right edge at Pos (global).
    void ShowPopupMenu1(const QPoint& Pos);
    // The active child when it holds a picture: the picture commands do nothing without one.
    TPictForm* PictureWindow() const;
    void FilterInPlace(TPictForm& Window, TPGFilter& Filter);
    void Mirror(void (TPixelGraphic::*Operation)());

    // The node of the last press in the navigator; the model forgets it when it goes (NodeDestroyed).
    QTreeWidgetItem* ContextNode = nullptr;
    TPGSaveDialog PGSaveDialog1;
    TBCGFilterDialog BCGFilterDialog1;
    TNegativeFilterDialog NegativeFilterDialog1;
    QPrinter Printer;                // used by the print command and set up by the page settings
    QList<QAction*> WindowListItems; // the window entries of the window menu, rebuilt when it opens

protected:
    bool event(QEvent* Event) override;
    void showEvent(QShowEvent* Event) override;
    void changeEvent(QEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;

private:
    void FormCreate();
    void FormClose();
    void FormDestroy();
    void CloseSplash();
    void OpenVideoWindow();
    void LeaveCameraMode();
    void SelectionOffEverywhere();
    TVs_optionsFrame* CameraControls() const;
    void SetItemEnabled(QAction* Item, bool Enabled);
    void ApplyMenuStates(QMenu* Menu, bool ParentEnabled);
    void BindCommands();
    void SavePicture(bool ProposeName);
    template <class F> void ZoomEvery(F&& Zoom);
    void TileEqually(Qt::Orientation Direction);
    void BindFormCommands();

    TBoardErrorHandler PreviousBoardErrorHandler; // the driver's messages go to this window's error box
    bool EndRequested = false;
    bool ActivationQueued = false;
    std::map<QAction*, bool> ItemEnabled; // each item's own rule; a disabled menu also disables its items
};
