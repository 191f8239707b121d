// Start-up and the process-wide state (to be written).
