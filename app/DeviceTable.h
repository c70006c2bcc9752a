#pragma once

// The device table of the main window: its data, its cell editors and its view.
#include "app/DeviceCellDelegate.h"
#include "app/DeviceTableModel.h"
#include "app/DeviceTableView.h"
