// Placeholder so that a subsystem without sources still forms a library.
namespace { [[maybe_unused]] int kv_empty_unit; }
