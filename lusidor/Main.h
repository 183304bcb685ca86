// TForm1: the acquisition program's main window with its MDI area, navigator panel, status panels and menus,
// the three working modes and the settings file read at start and written at exit.
#pragma once

#include "binary-dataset/bindata.h"
#include "framework/AddressReservation.h"
#include "ui_Main.h"
#include "vs_drv.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <map>
#include <memory>

class QFileDialog;
class QMdiSubWindow;
class TPictForm;
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

    // MDI children in the order the user last used them: the active one first.
    QList<QMdiSubWindow*> MdiChildren() const;
    TPictForm* ActiveChild() const;
    TPictForm* VideoWindow() const;

    const QString ProgramFolder;
    const QString SettingsPath;
    QString ImageFolder;
    QString HelpFolder;
    int Mode = ImageProcessingMode;
    bool MenuUpdateOn = false;
    bool FirstActivationDone = false;
    bool BoardConfigured = false;
    TPixelGraphic* CurrentPicture = nullptr;
    std::unique_ptr<TAddressReservation> MaskReservation;
    bool MaskReservationFailed = false;

    // Other windows of the program, each created elsewhere; null while absent.
    QPointer<QWidget> SplashWindow;
    QPointer<QWidget> ChartWindow;
    QPointer<QWidget> EntryForm;
    QPointer<QWidget> CameraWindow;
    QPointer<QFileDialog> PGOpenDialog1;

    TBinaryDataSet BinaryDataSet1; // handed to the navigator model, never opened
    QTimer Timer1;                 // closes the splash window

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

    TBoardErrorHandler PreviousBoardErrorHandler; // the driver's messages go to this window's error box
    bool EndRequested = false;
    bool ActivationQueued = false;
    std::map<QAction*, bool> ItemEnabled; // each item's own rule; a disabled menu also disables its items
};
