// Linux HID backend (libudev + hidraw): filled in by the HID layer work.
