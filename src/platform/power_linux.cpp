// logind's Manager.PowerOff on the system bus, through libsystemd's sd-bus.
// DBUS_SYSTEM_BUS_ADDRESS, when set, names the bus (sd-bus reads it).
#include <systemd/sd-bus.h>

#include <cstring>

#include "platform/power.h"

namespace platform::detail {

bool SystemPowerOff(std::string& error) {
  sd_bus* bus = nullptr;
  int r = sd_bus_open_system(&bus);
  if (r < 0) {
    error = std::string("Cannot reach the system bus to switch the computer off: ") + std::strerror(-r);
    return false;
  }
  // SD_BUS_ERROR_NULL is a C compound literal; all-null is the same value.
  sd_bus_error busError{};
  sd_bus_message* reply = nullptr;
  // false: no interactive authorisation prompt; polkit's rules decide.
  r = sd_bus_call_method(bus, "org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                         "PowerOff", &busError, &reply, "b", 0);
  if (r < 0) {
    error = "The session manager refused to switch the computer off: ";
    error += busError.message != nullptr ? busError.message : std::strerror(-r);
  }
  sd_bus_error_free(&busError);
  sd_bus_message_unref(reply);
  sd_bus_flush_close_unref(bus);
  return r >= 0;
}

}  // namespace platform::detail
