// Hive storage (in progress).
