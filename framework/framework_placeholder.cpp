// Replaced by the window-class framework.
