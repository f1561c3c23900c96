"""What the capture overlay does to the screen under it, for the tests that compare its
pixels with what was there before (the library's own test and the program's e2e test)."""

DIM = 127 / 255  # what the overlay's half-transparent black leaves of a colour


def dimmed(original, shown):
    """Whether every byte of `shown` is what the overlay's dimming makes of `original`."""
    return len(original) == len(shown) and all(
        abs(s - o * DIM) <= 2 for o, s in zip(original, shown))


def shrink(rect, by):
    """`rect` (x, y, width, height) with `by` pixels taken off each side."""
    x, y, width, height = rect
    return (x + by, y + by, width - 2 * by, height - 2 * by)
