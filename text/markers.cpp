// Cutting pieces out of texts between markers (to be written).
