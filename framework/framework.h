#pragma once
// The window-class framework: include this for everything.
#include "framework/cmd_target.h"
#include "framework/control_bar.h"
#include "framework/controls.h"
#include "framework/dialog.h"
#include "framework/frame_wnd.h"
#include "framework/gdi.h"
#include "framework/menu.h"
#include "framework/sync.h"
#include "framework/win_thread.h"
#include "framework/wnd.h"
