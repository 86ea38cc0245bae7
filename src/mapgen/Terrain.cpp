// Map generation lands here.
