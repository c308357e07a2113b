#pragma once
// The program's default error display. Every window handler runs inside
// RunGuarded: whatever it throws ends that command and is shown in a message
// box captioned with the application title, with an error icon and OK. An
// error while the windows are being created is shown as "Application Error"
// instead, naming the error's kind, and ends the program.

#include <QString>
#include <exception>
#include <functional>

#include "ui/Dialogs.h"

namespace ovrel {

// The message as the error box shows it: a full stop is added unless the
// last character sorts at or before "." in character code order.
QString WithFullStop(const QString& message);

// The kind of an error: the unqualified name of its class ("PortListError").
QString ErrorKind(const std::exception& error);

// Shows error (caught elsewhere) in the default error display.
void ShowError(Dialogs& dialogs, std::exception_ptr error);

// Runs handler; an exception it throws is shown and goes no further.
void RunGuarded(Dialogs& dialogs, const std::function<void()>& handler);

// Shows the start-up error of the exception being handled (call it inside
// a catch block): caption "Application Error", its kind and its message.
void ShowApplicationError(Dialogs& dialogs, std::exception_ptr error);

inline const QString kApplicationErrorCaption = QStringLiteral("Application Error");

}  // namespace ovrel
