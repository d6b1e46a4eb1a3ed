// CMorvaneApp: the start-up and shut-down of the desktop program.
#pragma once

#include <QStringList>
#include <memory>

class KW_MdiFrm;
class QtFrontend;
class QSplashScreen;

class CMorvaneApp {
 public:
  CMorvaneApp();
  CMorvaneApp(const CMorvaneApp&) = delete;
  CMorvaneApp& operator=(const CMorvaneApp&) = delete;
  ~CMorvaneApp();

  // The splash window, the main frame, the frontend of the interface thread,
  // the file named on the command line (arguments after the program name)
  // and a fresh database log. False when the main frame cannot be made.
  bool InitInstance(const QStringList& arguments);

  KW_MdiFrm* mainFrame() const { return m_frame.get(); }

 private:
  std::unique_ptr<QtFrontend> m_frontend;
  std::unique_ptr<KW_MdiFrm> m_frame;
};

// The splash window "Splasher": borderless, centred, kept on top.
std::unique_ptr<QSplashScreen> MakeSplash();
