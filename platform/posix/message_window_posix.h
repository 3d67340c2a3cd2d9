// What a POSIX front end needs of its own MessageWindow beyond the port:
// descriptors to wait on and word when the window is forced to the front.
#pragma once

#include <functional>
#include <vector>

#include "platform/window_messages.h"

// Descriptors of an own window that turn readable when a message may be
// waiting; they change with every ProcessMessages, so ask each time.
std::vector<int> MessageWindowDescriptors(WindowHandle ownWindow);

// Called after ForceWindowToFront raised the own window, so its owner can
// show itself as a restored Windows window would.
void SetRaisedCallback(WindowHandle ownWindow, std::function<void()> onRaised);
