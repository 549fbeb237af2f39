// The directories along which the application looks for its files: the current model's,
// the project's, the company's and the system directories. The application sets them;
// the file finder reads them. Safe to call from any thread.
#pragma once

#include <string>
#include <vector>

class sysSystemDirectories_c {
  public:
    // The current values; empty texts and an empty list until set.
    static std::string GetModelDirectory();
    static std::string GetProjectDirectory();
    static std::string GetFirmDirectory();
    // The system directories in search order.
    static std::vector<std::string> GetQmSystemDirectories();

    static void SetModelDirectory(const std::string& dir);
    static void SetProjectDirectory(const std::string& dir);
    static void SetFirmDirectory(const std::string& dir);
    static void SetQmSystemDirectories(const std::vector<std::string>& dirs);
    // Appends one system directory at the end of the search order.
    static void AddQmSystemDirectory(const std::string& dir);

    // Clears every directory (the state at start).
    static void CleanUp();
};
