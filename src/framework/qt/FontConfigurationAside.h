#pragma once

// Starts reading the font configuration (fontconfig's files and its caches) on a thread
// of its own, to be called before the toolkit starts: the window's first text would
// otherwise wait for it on the user-interface thread, after the X connection and the
// controls. The toolkit's own initialisation then finds it done (or waits for the rest).
void LoadFontConfigurationAside();
