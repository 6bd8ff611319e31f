// Replaced by the storage layer.
