// Pictures of the window for the documentation.
#pragma once

#include <QString>

namespace vorlak::app {

class frmStart;

// When the environment names a folder in VORLAK_SCREENSHOTS, shows each page of `window` in turn,
// saves what the screen shows of the window as DIR/page-N.png, closes the window and returns
// true. Otherwise does nothing and returns false.
bool ScheduleScreenshots(frmStart& window);

}  // namespace vorlak::app
