// Colour reduction for writers of palette formats; see quantize.h.
