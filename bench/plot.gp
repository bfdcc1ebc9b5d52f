# Median images per second of each tool on each set, as grouped bars.
set terminal pngcairo size 720,420 font "sans,10"
set output output
set title "150-px thumbnails of photo-like JPEGs (2 cores; median of rounds)"
set ylabel "images per second"
set style data histograms
set style histogram clustered gap 1
set style fill solid 0.8 border -1
set boxwidth 0.9
set key top left
set yrange [0:*]
set grid ytics
plot data using 2:xtic(1) title "fotobatch, first job", \
     '' using 3 title "fotobatch, next job", \
     '' using 4 title "vipsthumbnail -s 150", \
     '' using 5 title "fotobatch, decoding in the job"
