// Splitting URLs into host, path and port (to be written).
