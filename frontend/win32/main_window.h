// The Win32 front end: the updater's one window with its status line,
// progress bar and two buttons, the hidden keyboard commands, the tray icon,
// the message boxes and the three phase timers.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "base/window_layout.h"
#include "frontend/front_end.h"
#include "frontend/win32/tray_icon.h"

class MainWindow final : public FrontEnd {
 public:
  explicit MainWindow(FrontEndEvents& events);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  void SetCaption(const std::string& caption) override;
  std::string Caption() const override { return caption_; }
  WindowHandle Handle() const override { return reinterpret_cast<WindowHandle>(window_); }

  void ShowMainWindow() override;
  void HideMainWindow() override;
  bool MainWindowVisible() const override;
  void ForceToFront() override;

  void SetStatusText(const std::string& text) override;
  std::string StatusText() const override { return statusText_; }
  void ApplyStatusStyle(const StatusStyle& style) override;

  void SetProgress(int position) override;
  int Progress() const override { return progress_; }

  void SetTrayIconVisible(bool visible) override;
  bool TrayIconVisible() const override;
  void SetTrayHint(const std::string& hint) override;

  void ShowInformation(const std::string& text) override;
  bool AskQuestion(const std::string& text) override;

  void SetTimerEnabled(int timer, bool enabled) override;
  void ProcessMessages() override;
  void RunMessageLoop(bool startHidden) override;
  void Close() override;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  void CreateControls();
  void RemoveSystemMenuCommands();
  void SetWindowIcons();
  void PlaceControls();
  WindowSize FrameSize() const;
  void CenterWindowOnWorkArea();
  void FocusStatusLine();
  void UpdateDefaultButton();
  // Keys the window handles before the focused control sees them.
  bool TranslateKeyboard(MSG& message);
  bool IsPhaseTimer(const MSG& message) const;
  void OnCommand(int id, int code);

  FrontEndEvents& events_;
  bool eventsLive_ = false;  // not before the run holds this front end
  bool closing_ = false;
  bool placing_ = false;  // inside PlaceControls

  HWND window_ = nullptr;
  HWND status_ = nullptr;
  HWND progressBar_ = nullptr;
  HWND minimizeButton_ = nullptr;  // Button2
  HWND cancelButton_ = nullptr;    // Button1
  HWND defaultButton_ = nullptr;   // the one Enter presses: Button2 unless Button1 has the focus
  HWND focusBeforeDeactivation_ = nullptr;
  HACCEL accelerators_ = nullptr;
  HFONT statusFont_ = nullptr;
  HICON bigIcon_ = nullptr;
  HICON smallIcon_ = nullptr;
  std::unique_ptr<TrayIcon> tray_;

  std::string caption_;
  std::string statusText_;
  StatusStyle style_;
  WindowSize windowSize_;  // the layout's; the window keeps it
  int progress_ = 0;
  bool timerEnabled_[4] = {false, false, false, false};
};
