// The services room's library needs one source of its own before its parts arrive.
namespace talvor::services {
[[maybe_unused]] static constexpr int kRoom = 0;
}
