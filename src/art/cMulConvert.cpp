// Art record decoding lands here.
