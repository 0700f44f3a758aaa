// Resource ids of the stand-in browser.
#pragma once

#define IDI_STANDIN_GLOBE 1          // its own icon (ExtractIconEx index 0)
#define IDI_STANDIN_GLOBE_CHANGED 2  // the icon --reicon switches to
#define IDD_STANDIN_OWNED 100        // the owned dialog of --dialog
