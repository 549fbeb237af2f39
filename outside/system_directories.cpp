// The application's search directories, process-wide behind one mutex.
#include "outside/system_directories.h"

#include <mutex>

namespace {

struct Directories {
    std::mutex mutex;
    std::string model;
    std::string project;
    std::string firm;
    std::vector<std::string> system;
};

Directories& directories() {
    static Directories d;
    return d;
}

std::string read(std::string Directories::*member) {
    Directories& d = directories();
    std::lock_guard<std::mutex> lock(d.mutex);
    return d.*member;
}

void write(std::string Directories::*member, const std::string& value) {
    Directories& d = directories();
    std::lock_guard<std::mutex> lock(d.mutex);
    d.*member = value;
}

}  // namespace

std::string sysSystemDirectories_c::GetModelDirectory() {
    return read(&Directories::model);
}
std::string sysSystemDirectories_c::GetProjectDirectory() {
    return read(&Directories::project);
}
std::string sysSystemDirectories_c::GetFirmDirectory() {
    return read(&Directories::firm);
}

std::vector<std::string> sysSystemDirectories_c::GetQmSystemDirectories() {
    Directories& d = directories();
    std::lock_guard<std::mutex> lock(d.mutex);
    return d.system;
}

void sysSystemDirectories_c::SetModelDirectory(const std::string& dir) {
    write(&Directories::model, dir);
}
void sysSystemDirectories_c::SetProjectDirectory(const std::string& dir) {
    write(&Directories::project, dir);
}
void sysSystemDirectories_c::SetFirmDirectory(const std::string& dir) {
    write(&Directories::firm, dir);
}

void sysSystemDirectories_c::SetQmSystemDirectories(const std::vector<std::string>& dirs) {
    Directories& d = directories();
    std::lock_guard<std::mutex> lock(d.mutex);
    d.system = dirs;
}

void sysSystemDirectories_c::AddQmSystemDirectory(const std::string& dir) {
    Directories& d = directories();
    std::lock_guard<std::mutex> lock(d.mutex);
    d.system.push_back(dir);
}

void sysSystemDirectories_c::CleanUp() {
    Directories& d = directories();
    std::lock_guard<std::mutex> lock(d.mutex);
    d.model.clear();
    d.project.clear();
    d.firm.clear();
    d.system.clear();
}
