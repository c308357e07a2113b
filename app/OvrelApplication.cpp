#include "app/OvrelApplication.h"

#include <QApplication>

#include "app/ErrorDisplay.h"

namespace ovrel {

OvrelApplication::OvrelApplication(Dialogs& dialogs, StartupOptions options) {
  QCoreApplication::setApplicationName(kAppTitle);
  Form1 = std::make_unique<TForm1>(dialogs, std::move(options.Main));
  Form2 = std::make_unique<TForm2>(Form1->Folders, dialogs, [this] { Form4->ShowAbout(); });
  Form3 = std::make_unique<TForm3>(Form1->Folders, dialogs);
  Form5 = std::make_unique<TForm5>([this] { Form1->ShowMainForm(); }, options.SplashMs);
  Form4 = std::make_unique<TForm4>(Form1.get());

  Form1->SetEditorWindows(Form2.get(), Form3.get());
  Form1->SetCanCloseApplication([this] { return Form2->CanCloseApplication(); });
  // Closing the main window ends the program; the other windows go with it.
  QObject::connect(Form1.get(), &TForm1::MainFormClosed, Form1.get(), [this] {
    for (QWidget* window : {static_cast<QWidget*>(Form2.get()), static_cast<QWidget*>(Form3.get()),
                            static_cast<QWidget*>(Form4.get()), static_cast<QWidget*>(Form5.get())})
      window->hide();
    Form5->Timer1->stop();
    QCoreApplication::quit();
  });

  if (options.RemoteControl) {
    RemoteCallbacks callbacks;
    callbacks.ShowMainWindow = [this] { Form1->ShowMainForm(); };
    // The same way out as the main window's close box, so the editor still
    // asks about unsaved changes.
    callbacks.Quit = [this] { Form1->close(); };
    callbacks.ShowError = [&dialogs](std::exception_ptr error) { ShowError(dialogs, error); };
    Remote = std::make_unique<TRemoteControl>(Form1->Link(), std::move(callbacks));
  }
}

OvrelApplication::~OvrelApplication() = default;

}  // namespace ovrel
