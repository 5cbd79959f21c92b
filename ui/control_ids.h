// The control ids of the setup window's buttons.
#pragma once

constexpr int ID_INSTALL = 1001;
constexpr int ID_CANCEL = 1002;
constexpr int ID_LAUNCH = 1003;
constexpr int ID_CLOSE = 1004;
