// The strip schedule: both engines cut the image into the same strips.
#pragma once

namespace vrk {

inline constexpr int max_strip_rows = 32;

// Rows in the next strip when `remaining` rows of the image are left:
// 32 rows, 24 when 33 to 48 remain (so no strip is tiny), else all of them.
constexpr int strip_rows_for(int remaining) noexcept { return remaining >= 49 ? 32 : remaining >= 33 ? 24 : remaining; }
constexpr int rounded_up_to_8(int n) noexcept { return (n + 7) & ~7; }

// One strip of the schedule. Its coded rows are padded_rows (16, 24 or 32);
// rows beyond `rows` exist only in the coded planes.
struct Strip {
    int index = 0;       // 0 for the strip at the top of the image
    int rows = 0;        // image rows in the strip
    int padded_rows = 0; // rows rounded up to a multiple of 8
    bool last = false;
    int first_row = 0; // the image row the strip starts at

    bool first() const noexcept { return index == 0; }
};

// Calls visit(strip) for every strip of an image `height` rows high, top to bottom.
template <class Visit>
void for_each_strip(int height, Visit&& visit) {
    Strip strip;
    for (int remaining = height; remaining > 0; remaining -= strip.rows, strip.first_row += strip.rows, ++strip.index) {
        strip.rows = strip_rows_for(remaining);
        strip.padded_rows = rounded_up_to_8(strip.rows);
        strip.last = strip.rows == remaining;
        visit(static_cast<const Strip&>(strip));
    }
}

} // namespace vrk
