// The setup's process exit codes, for scripts and deployment tools that run it (the README has the
// table). A code keeps its meaning for good: a new outcome gets a new number, never an old one.
#pragma once

inline constexpr int EXIT_INSTALLED = 0;           // the finished page was reached
inline constexpr int EXIT_CANNOT_RUN = 1;          // Windows older than 10 build 19041, or no window
inline constexpr int EXIT_INSTALL_FAILED = 2;      // a fatal error ended the installation
inline constexpr int EXIT_FOLDER_REFUSED = 3;      // the target folder was refused; nothing written there
inline constexpr int EXIT_NETWORK_CANCELLED = 4;   // Cancel in the network-error box
inline constexpr int EXIT_ANOTHER_JOB_RUNNING = 5; // another setup or an uninstall was at work
inline constexpr int EXIT_CLOSED_BY_USER = 6;      // closed before the installation finished
