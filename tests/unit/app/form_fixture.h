// A TForm1 on a scripted front end, with the user's temporary folder in a
// fresh test folder.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "../support/scripted_front_end.h"
#include "../support/temp_folder.h"
#include "app/haupt.h"
#include "discovery/discovery.h"
#include "download/download.h"
#include "install/install.h"
#include "run/config.h"

class FormFixture {
 public:
  explicit FormFixture(std::vector<std::string> args) {
    form = std::make_unique<TForm1>(std::move(args), [this](FrontEndEvents& events) {
      auto frontEnd = std::make_unique<ScriptedFrontEnd>(events);
      ui = frontEnd.get();
      return frontEnd;
    });
    // The road without release keys; the release tests give theirs.
    form->State().ReleaseKeys.clear();
  }

  TempFolder temp;  // first, so the form sees it as the temporary folder
  ScriptedFrontEnd* ui = nullptr;
  std::unique_ptr<TForm1> form;
};
